// Finding the product's OEM INF files by their model line and uninstalling them: the section order, the
// whole case-sensitive compare, the 5.0 path, the library without its export and the INF folder's
// attributes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DeviceRemoval.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"

namespace {

using platform::testing::Machine;

const std::u16string kInf = u"C:\\Windows\\inf\\";

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The product's INF under "Zandrel" and again under "Printer", one matching only in "Printer",
// another vendor's with the key and one without it, each with its ".PNF".
void installInfs(const Machine& machine) {
    const std::pair<const char16_t*, std::string> infs[] = {
        {u"oem1.inf", "[Zandrel]\r\nModel=Zandrel M2100\r\n[Printer]\r\nModel=Zandrel M2100\r\n"},
        {u"oem2.inf", "[Printer.NTx86]\r\nModel=Zandrel M2100\r\n"},
        {u"oem3.inf", "[Zandrel]\r\nModel=zandrel m2100\r\n"},
        {u"oem4.inf", "[Version]\r\nSignature=x\r\n"},
    };
    for (const auto& [name, text] : infs) {
        machine.writeFile(kInf + name, text);
        std::u16string pnf = kInf + name;
        pnf.replace(pnf.size() - 3, 3, u"PNF");
        machine.writeFile(pnf, "p");
    }
    machine.writeFile(kInf + u"other.inf", "[Zandrel]\r\nModel=Zandrel M2100\r\n");
}

std::vector<std::string> uninstallCalls() {
    std::vector<std::string> out;
    for (const auto& record : platform::callJournal())
        if (record.call == "SetupUninstallOEMInfW") out.push_back(platform::toUtf8(record.arguments));
    return out;
}

TEST(OemInf, MatchingInfsGoInSectionOrderAndOthersStay) {
    Machine machine;
    installInfs(machine);
    SetFileAttributesW(u"C:\\Windows\\inf", FILE_ATTRIBUTE_HIDDEN);
    platform::setCallJournal(true);
    EXPECT_EQ(uninstall::UninstallOemInf(u"Model", u"Zandrel M2100"), uninstall::kOemInfSearched);
    // oem1 goes in the first section and is no longer found under "Printer"; oem2 in the last.
    EXPECT_EQ(uninstallCalls(), (std::vector<std::string>{"oem1.inf, 1", "oem2.inf, 1"}));
    for (const char16_t* gone : {u"oem1.inf", u"oem1.PNF", u"oem2.inf", u"oem2.PNF"}) EXPECT_FALSE(exists(kInf + gone));
    // Letter case differs, no key, not an "oem" name.
    for (const char16_t* kept : {u"oem3.inf", u"oem3.PNF", u"oem4.inf", u"other.inf"}) EXPECT_TRUE(exists(kInf + kept));
    EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\inf") & FILE_ATTRIBUTE_HIDDEN, DWORD{FILE_ATTRIBUTE_HIDDEN});
    bool lines = false;
    for (const std::string& line : platform::debugLog())
        lines = lines || line.find("====是否目标inf：1 ") != std::string::npos;
    EXPECT_TRUE(lines);
}

TEST(OemInf, EmptyKeyOrValueAndNoInfAtAll) {
    Machine machine;
    EXPECT_EQ(uninstall::UninstallOemInf(u"Model", u"Zandrel M2100"), uninstall::kOemInfNoneFound);
    installInfs(machine);
    platform::setCallJournal(true);
    EXPECT_EQ(uninstall::UninstallOemInf(u"NoSuchKey", u""), uninstall::kOemInfSearched);
    EXPECT_EQ(uninstall::UninstallOemInf(u"", u"Zandrel M2100"), uninstall::kOemInfSearched);
    EXPECT_TRUE(uninstallCalls().empty());
    EXPECT_TRUE(exists(kInf + u"oem4.inf"));
}

TEST(OemInf, Version50DeletesDirectlyAndAMissingExportDeletesNothing) {
    {
        platform::MachineSettings settings;
        settings.osMajor = 5;
        settings.osMinor = 0;
        Machine machine(settings);
        installInfs(machine);
        platform::setCallJournal(true);
        SetFileAttributesW((kInf + u"oem1.inf").c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(uninstall::UninstallOemInf(u"Model", u"Zandrel M2100"), uninstall::kOemInfSearched);
        EXPECT_TRUE(uninstallCalls().empty());
        EXPECT_FALSE(exists(kInf + u"oem1.inf"));
        EXPECT_FALSE(exists(kInf + u"oem1.PNF"));
        EXPECT_FALSE(exists(kInf + u"oem2.inf"));
    }
    {
        Machine machine;
        installInfs(machine);
        platform::removeSystemExport("setupapi.dll", "SetupUninstallOEMInfW");
        EXPECT_EQ(uninstall::UninstallOemInf(u"Model", u"Zandrel M2100"), uninstall::kOemInfSearched);
        EXPECT_TRUE(exists(kInf + u"oem1.inf"));
        EXPECT_TRUE(exists(kInf + u"oem2.inf"));
    }
}

}  // namespace
