// rescomp: compiles a resource script into a resource file (a language resource library).
//   rescomp [--depfile FILE] -o OUTPUT SCRIPT
// Errors go to standard error as "script:line: message"; on any error nothing is written.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "rescomp/script.h"

namespace fs = std::filesystem;

namespace {

int usage() {
    std::cerr << "usage: rescomp [--depfile FILE] -o OUTPUT SCRIPT\n";
    return 2;
}

std::string escapeForMake(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

// Writes beside the target and renames, so that a reader never sees half a file.
bool writeFile(const fs::path& path, const std::string& bytes) {
    fs::path temporary = path;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) fs::remove(temporary, ec);
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output, depfile, script;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "-o" || arg == "--depfile") && i + 1 < argc) {
            (arg == "-o" ? output : depfile) = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else if (script.empty()) {
            script = arg;
        } else {
            return usage();
        }
    }
    if (script.empty() || output.empty()) return usage();
    rescomp::CompileResult result = rescomp::compileFile(script);
    for (const std::string& error : result.errors) std::cerr << error << "\n";
    if (!result.file) return 1;
    std::string error;
    std::optional<std::string> bytes = rescomp::writeCompiled(result, error);
    if (!bytes) {
        std::cerr << error << "\n";
        return 1;
    }
    std::error_code ec;
    if (fs::path(output).has_parent_path()) fs::create_directories(fs::path(output).parent_path(), ec);
    if (!writeFile(output, *bytes)) {
        std::cerr << output << ": cannot write the resource file\n";
        return 1;
    }
    if (!depfile.empty()) {
        std::string rule = escapeForMake(output) + ":";
        for (const fs::path& input : result.inputs) rule += " " + escapeForMake(fs::absolute(input).string());
        if (!writeFile(depfile, rule + "\n")) {
            std::cerr << depfile << ": cannot write the dependency file\n";
            return 1;
        }
    }
    return 0;
}
