// The program's own resources: what the build puts into the program, reached through the module handle
// of GetModuleHandleW(NULL) as a resource library's are through its handle.
#include <gtest/gtest.h>

#include <string>

#include "platform/control.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "win/gdi.h"
#include "win/kernel.h"
#include "win/resources.h"

namespace {

namespace res = platform::resources;
using platform::testing::Machine;

// A 2 x 1 24-bit BMP.
std::string tinyBmp() {
    const unsigned char bytes[] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 1, 0,
                                   0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

struct ProgramResources {
    explicit ProgramResources(std::string_view bytes) { res::setProgramResources(bytes); }
    ~ProgramResources() { res::setProgramResources({}); }
};

TEST(ProgramResources, TheProgramsModuleAnswersFromThem) {
    Machine machine;
    res::ResourceFile file;
    file.strings[7] = u"Splash";
    file.bitmaps[129] = tinyBmp();
    res::DialogTemplate splash;
    splash.cx = 300;
    splash.cy = 180;
    file.dialogs[127] = splash;
    ProgramResources resources(rescomp::writeResourceFile(file));

    HMODULE program = GetModuleHandleW(nullptr);
    WCHAR text[16] = {};
    EXPECT_EQ(LoadStringW(program, 7, text, 16), 6);
    EXPECT_EQ(std::u16string(text), u"Splash");
    HBITMAP bitmap = LoadBitmapW(program, MAKEINTRESOURCEW(129));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 2);
    DeleteObject(bitmap);
    EXPECT_TRUE(res::findDialog(program, 127).has_value());

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadBitmapW(program, MAKEINTRESOURCEW(130)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(ProgramResources, DamagedOrMissingOnesLeaveTheProgramWithout) {
    Machine machine;
    res::ResourceFile file;
    file.strings[7] = u"Splash";
    std::string damaged = rescomp::writeResourceFile(file);
    damaged[damaged.size() - 1] ^= 0x55;  // the checksum no longer fits
    for (const std::string& bytes : {damaged, std::string()}) {
        ProgramResources resources(bytes);
        platform::clearDebugLog();
        WCHAR text[16] = {u'x'};
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 7, text, 16), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_EQ(text[0], u'\0');
        EXPECT_FALSE(res::isResourceModule(GetModuleHandleW(nullptr)));
        EXPECT_EQ(platform::debugLog().size(), bytes.empty() ? 0u : 1u) << "a damaged file says why, once";
    }
}

}  // namespace
