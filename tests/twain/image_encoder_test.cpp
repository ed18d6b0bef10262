// The stand-in image-encoding library as test equipment: whatever a picture does to the libraries it
// writes with, it answers the program with its error code and never ends the process under test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ImageEncoder.h"
#include "SharedImageBuffer.h"
#include "support/twain_machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/memory.h"

using namespace twaintest;

namespace {

// libjpeg takes at most 65,500 pixels a side: one more is its error, answered as 0 with no file left.
TEST(ImageEncoderStandIn, AJpegTooWideForLibjpegIsAnErrorCodeNotTheEndOfTheProcess) {
    TwainMachine m;
    m.installEncoder();
    HMODULE library = LoadLibraryW((kProgramFolder + m.prefix + u"Brondel.dll").c_str());
    ASSERT_NE(library, nullptr);
    auto saveAsJpg =
        reinterpret_cast<PFN_SaveAsJPG>(reinterpret_cast<void (*)()>(GetProcAddress(library, "SaveAsJPG")));
    ASSERT_NE(saveAsJpg, nullptr);
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Scans", nullptr));
    const char16_t kJpeg[] = u"C:\\Scans\\row.jpg";
    struct Case {
        DWORD width;
        int result;
    };
    for (const Case c : {Case{65501, 0}, Case{65500, 1}}) {
        SCOPED_TRACE(c.width);
        // One grey row of that width.
        SharedImageBuffer* record = CreateSharedImageBuffer(c.width, u"");
        ASSERT_NE(record, nullptr);
        record->dwWidth = c.width;
        record->dwHeight = 1;
        record->dwBitsPerPixel = 8;
        record->dwBytesPerRow = c.width;
        record->dwResolution = 300;
        LPVOID view = nullptr;
        LPBYTE row = GetDataHandle(record, 0, c.width, &view);
        ASSERT_NE(row, nullptr);
        std::memset(row, 0x80, c.width);
        UnmapViewOfFile(view);
        EXPECT_EQ(saveAsJpg(record, kJpeg, 75), c.result);
        EXPECT_EQ(m.machine.readFile(kJpeg).has_value(), c.result == 1);
        DeleteFileW(kJpeg);
        ReleaseSharedImageBuffer(record);
    }
    FreeLibrary(library);
}

}  // namespace
