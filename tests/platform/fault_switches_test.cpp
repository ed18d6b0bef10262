// The table of fault switches: a name outside it cannot be set or counted, the layer consults exactly
// the names it lists, and the platform README lists the same names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> tableNames() {
    std::set<std::string> names;
    for (const platform::FaultSwitch& entry : platform::faultSwitches()) {
        EXPECT_TRUE(names.emplace(entry.name).second) << "listed twice: " << entry.name;
        EXPECT_FALSE(entry.effect.empty()) << entry.name;
    }
    return names;
}

TEST(FaultSwitches, AnUnknownNameCannotBeSetOrCounted) {
    platform::testing::Machine machine;
    for (const char* misspelt : {"WritePrinterW", "writeprinter", "", "Reg*"}) {
        SCOPED_TRACE(misspelt);
        EXPECT_THROW(platform::setFault(misspelt, platform::Fault()), std::invalid_argument);
        EXPECT_THROW(platform::callCount(misspelt), std::invalid_argument);
    }
    EXPECT_NO_THROW(platform::setFault("WritePrinter", platform::Fault()));
    EXPECT_EQ(platform::callCount("WritePrinter"), 0);
}

// Every switch named in the layer's sources is in the table, and every table entry is used.
TEST(FaultSwitches, TheTableListsExactlyTheSwitchesTheLayerConsults) {
    const std::regex consulted(R"re((?:takeFault|faultFor|allocate)\("([A-Za-z0-9_]+)")re");
    std::set<std::string> used;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(MFP_SOURCE_DIR) / "platform/src")) {
        if (entry.path().extension() != ".cpp") continue;
        const std::string text = readText(entry.path());
        for (std::sregex_iterator it(text.begin(), text.end(), consulted), end; it != end; ++it)
            used.insert((*it)[1]);
    }
    EXPECT_EQ(used, tableNames());
}

TEST(FaultSwitches, TheReadmeListsTheSameNames) {
    const std::string readme = readText(fs::path(MFP_SOURCE_DIR) / "platform/README.md");
    const size_t section = readme.find("## Fault switches");
    ASSERT_NE(section, std::string::npos);
    const size_t next = readme.find("\n## ", section + 1);
    const std::string text = readme.substr(section, next - section);
    const std::regex row(R"(\n\| `([A-Za-z0-9_]+)` \|)");
    std::set<std::string> listed;
    for (std::sregex_iterator it(text.begin(), text.end(), row), end; it != end; ++it) listed.insert((*it)[1]);
    EXPECT_EQ(listed, tableNames());
}

}  // namespace
