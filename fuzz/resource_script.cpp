// Resource scripts (rescomp), and the resource file a sound script compiles to, read back.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/resources.h"
#include "rescomp/script.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Pictures are looked for in a folder that holds none.
    static const std::filesystem::path folder = std::filesystem::temp_directory_path() / "mfp-fuzz-no-pictures";
    rescomp::CompileResult result = rescomp::compileScript(text, "fuzz.rc", folder);
    if (!result.file) return 0;
    std::string error;
    std::optional<std::string> bytes = rescomp::writeCompiled(result, error);
    if (!bytes) return 0;
    // What the compiler wrote, the library reader takes back unchanged.
    std::optional<platform::resources::ResourceFile> back = platform::resources::parse(*bytes);
    if (!back || !(*back == *result.file)) __builtin_trap();
    return 0;
}
