// Where the build put our modules: tools find the driver module beside themselves (bin/ and lib/ of
// one build tree).
#pragma once

#include <filesystem>

namespace platform::testing {

// "<folder of this program>/../lib/<file>"; just the file name when the program's path is unknown.
std::filesystem::path builtModule(const char* file);

}  // namespace platform::testing
