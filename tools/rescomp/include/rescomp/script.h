// The resource script compiler: our own small text syntax (see tools/rescomp/README.md) into the
// content of a resource file.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"

namespace rescomp {

struct CompileResult {
    std::optional<platform::resources::ResourceFile> file;  // set when there were no errors
    std::vector<std::string> errors;                        // "name:line: message", in line order
    std::vector<std::filesystem::path> inputs;              // the picture files read
    std::string name;                                       // what heads the messages
    // The line that defined each resource ("string", "dialog", "bitmap" or "icon", and its id), and the
    // line of each control of a dialog, in the dialog's order.
    std::map<std::pair<std::string, UINT>, int> lines;
    std::map<UINT, std::vector<int>> controlLines;
};

// Compiles a script's UTF-8 text; `name` heads the error messages and picture files named in the
// script are read relative to `folder`.
CompileResult compileScript(std::string_view text, const std::string& name, const std::filesystem::path& folder);
// Compiles a script file (its pictures relative to its own folder). Only a regular file of at most
// kMaxScriptBytes is read; pictures likewise (kMaxPictureBytes).
CompileResult compileFile(const std::filesystem::path& script);

// The bytes of the resource file a script compiled to, or nothing with `error` set: what the writer
// refused, as "name:line: message" at the line that defined it (or the first compile error when the
// script did not compile).
std::optional<std::string> writeCompiled(const CompileResult& result, std::string& error);

}  // namespace rescomp
