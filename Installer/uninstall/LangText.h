// The uninstaller's texts: from the string table of the current resource module (the language library
// chosen at start, or the program's own), with the product heading in place of "%Text%".
#pragma once
#include <string>
#include <string_view>

#include "win/base.h"

namespace uninstall {

inline constexpr size_t kLangTextCapacity = 1024;
// The desktop shortcut's name, and what the worker's buffer holds before it is loaded.
inline constexpr UINT kScanToolTextId = 243;
inline constexpr char16_t kScanToolDefault[] = u"Printer scan tool";

// The heading (`Headingline/Content`), process-wide: set while the main window is built, before the
// worker starts, and put in place of "%Text%" in every text shown.
std::u16string& ProductHeading();

// The module texts come from, which is the framework's resource module (NULL: the program's own), and
// the heading put in place of "%Text%".
void setLangModule(HINSTANCE module);
void setLangHeading(std::u16string_view heading);

// Every "%Text%" of `text` replaced by `heading` (case-sensitive, all occurrences).
std::u16string ReplaceHeading(std::u16string text, std::u16string_view heading);

// The text of `id` as it is stored, from `module` (NULL: the current resource module); false (and `text`
// empty) when the id is missing or its text is empty.
bool LoadResourceText(UINT id, std::u16string& text, HINSTANCE module = nullptr);

// Loads text `id` into `output` (kLangTextCapacity characters, cut to 1023 and a NUL), every "%Text%"
// replaced by the heading. 1 without a buffer; 0, the buffer as the caller left it, when the module has
// no such text or an empty one; otherwise non-zero.
int LoadLangText(UINT id, WCHAR* output);

}  // namespace uninstall
