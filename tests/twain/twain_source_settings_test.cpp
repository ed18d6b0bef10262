// The stand-in data source's interface writing the save settings into the settings folder of the product
// INI, at enable and after each image, as the scan application reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Twain.h"
#include "support/twain_machine.h"
#include "win/shell.h"

using twaintest::linesStarting;
using twaintest::TwainMachine;

namespace {

const char16_t kSettings[] = u"C:\\Users\\User\\AppData\\Roaming\\Qelmar\\Scan\\imgSaveSettings.dat";

struct Settings {
    std::u16string folder, name, extension, mailProgram;
    int32_t openFile = -1, openFolder = -1, sendMail = -1;
};

// The record as the scan application takes it: 2100 bytes, or nothing.
std::optional<Settings> readSettings(const TwainMachine& m) {
    const std::optional<std::string> bytes = m.machine.readFile(kSettings);
    if (!bytes || bytes->size() != 2100) return std::nullopt;
    auto text = [&](size_t offset) {
        std::u16string out(260, u'\0');
        std::memcpy(out.data(), bytes->data() + offset, 520);
        return out.substr(0, out.find(u'\0'));
    };
    auto number = [&](size_t offset) {
        int32_t value = 0;
        std::memcpy(&value, bytes->data() + offset, 4);
        return value;
    };
    return Settings{text(0), text(520), text(1040), text(1572), number(1560), number(1564), number(1568)};
}

// Takes the images natively and reads the settings file at each, as the scan application does.
class ReadingTwain : public CTwain {
public:
    explicit ReadingTwain(const TwainMachine& m) : m_(m) {}
    void OnNativeImage(HGLOBAL, const TW_IMAGEINFO&) override {
        const std::optional<Settings> s = readSettings(m_);
        names.push_back(s ? s->name : u"(unreadable)");
    }
    std::vector<std::u16string> names;

private:
    const TwainMachine& m_;
};

TEST(StandInSourceSettings, WrittenIntoTheSettingsFolderAtEnableAndAfterEachImage) {
    TwainMachine m;
    // "Setting Path" without its closing backslash: the file still goes inside the folder.
    m.machine.writeFile(u"C:\\Windows\\vrx4410.ini",
                        "[TWAIN]\r\nFile Prefix=vrx4410\r\nSetting Folder=\\Qelmar\r\nSetting Path=\\Qelmar\\Scan\r\n");
    m.installSource("a", "product Scanner A\nimages 2\nsave-settings\nsave-folder C:\\Users\\User\\Pictures\n"
                         "save-name scan\nsave-ext JPEG\nsave-flags 1 0 1\nsave-mail-program C:\\Mail\\Foxmail.exe\n");
    ReadingTwain twain(m);
    m.twain = &twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    ASSERT_TRUE(twain.OpenSource());
    ASSERT_TRUE(twain.RegisterCallback(0));
    ASSERT_TRUE(twain.SetTransferCount(-1));
    EXPECT_FALSE(readSettings(m)) << "nothing before the interface shows";
    ASSERT_TRUE(twain.EnableSource(TRUE));
    const std::optional<Settings> first = readSettings(m);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->folder, u"C:\\Users\\User\\Pictures");
    EXPECT_EQ(first->name, u"scan");
    EXPECT_EQ(first->extension, u"JPEG");
    EXPECT_EQ(first->openFile, 1);
    EXPECT_EQ(first->openFolder, 0);
    EXPECT_EQ(first->sendMail, 1);
    EXPECT_EQ(first->mailProgram, u"C:\\Mail\\Foxmail.exe");

    ASSERT_TRUE(m.pumpUntil([&] { return linesStarting(m.sourceJournal("a"), "CONTROL/PENDINGXFERS/ENDXFER").size() == 2; }));
    EXPECT_EQ(twain.names, (std::vector<std::u16string>{u"scan", u"scan_2"})) << "each image finds the name of its own";
    EXPECT_EQ(readSettings(m)->name, u"scan_3");
    EXPECT_EQ(linesStarting(m.sourceJournal("a"), "settings").size(), 3u);
}

TEST(StandInSourceSettings, NoSettingsFolderWithoutTheApplicationDataFolder) {
    TwainMachine m;
    m.installSource("a", "product Scanner A\nimages 0\nsave-settings\nsave-name scan\n");
    platform::setFault("SHGetFolderPath", platform::Fault().onlyFor(std::to_string(CSIDL_APPDATA)).failing(-1));
    CTwain twain;
    ASSERT_TRUE(twain.InitTwain(m.window()));
    ASSERT_TRUE(twain.SelectSource("Scanner A"));
    ASSERT_TRUE(twain.Acquire());
    EXPECT_TRUE(m.machine.filesIn(u"C:\\Users\\User\\AppData\\Roaming").empty());
    EXPECT_EQ(linesStarting(m.sourceJournal("a"), "settings").size(), 0u);
}

}  // namespace
