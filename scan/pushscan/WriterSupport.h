// What the page writers share: debug lines and temporary files made under names nobody else holds.
#pragma once

#include <functional>
#include <string>

#include "win/base.h"

// A formatted line of ASCII text to the debugger output.
void WriterDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The temporary folder with its closing backslash; empty when there is none.
std::u16string WriterTempFolder();

// Creates the first file of `nameFor(0)`, `nameFor(1)`, ... that does not exist yet (an exclusive
// create, so two programs never share one) and returns its name, the file left empty; empty when
// none could be made.
std::u16string CreateUniqueFile(const std::function<std::u16string(int)>& nameFor);

std::u16string WideOf(const std::string& ascii);
