// The resource script compiler: our own small text syntax (see tools/rescomp/README.md) into the
// content of a resource file.
#pragma once

#include <filesystem>
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
};

// Compiles a script's UTF-8 text; `name` heads the error messages and picture files named in the
// script are read relative to `folder`.
CompileResult compileScript(std::string_view text, const std::string& name, const std::filesystem::path& folder);
// Compiles a script file (its pictures relative to its own folder).
CompileResult compileFile(const std::filesystem::path& script);

}  // namespace rescomp
