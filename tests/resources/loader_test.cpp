// Resource modules as programs use them: LoadLibraryW of a resource file, LoadStringW, LoadBitmapW,
// LoadImageW, LoadIconW, the framework's dialog templates, and damaged files refused whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "support/pictures.h"
#include "win/resources.h"

namespace {

namespace res = platform::resources;
using namespace resources_test;
using platform::testing::Machine;

res::DialogTemplate sampleDialog() {
    res::DialogTemplate d;
    d.title = u"Scan settings";
    d.fontFace = u"MS Shell Dlg";
    d.pointSize = 9;
    d.style = 0x80C800C0;
    d.exStyle = res::kLayoutRightToLeft;
    d.x = -5;
    d.y = 7;
    d.cx = 240;
    d.cy = 160;
    d.controls = {
        {u"BUTTON", u"OK", 1, 0x50010001, 0, 130, 140, 50, 14},
        {u"STATIC", u"Save to:", -1, 0x50000000, 0, 7, 7, 60, 8},
        {u"EDIT", u"", 8001, 0x50810080, 0x200, 70, 5, 120, 12},
        {u"COMBOBOX", u"", 8002, 0x50210003, 0, 70, 22, 120, 60},
        {u"SysListView32", u"", 8003, 0x50010001, 0x200, 7, 40, 226, 80},
        {u"msctls_progress32", u"", 8004, 0x50000001, 0, 7, 124, 226, 10},
        {u"SkinButton", u"\u0645\u0648\u0627\u0641\u0642 \U0001F600", 8005, 0x5001000B, 0, 190, 140, 43, 14},
    };
    return d;
}

DibShape grey24(int width, int height) {
    DibShape d;
    d.width = width;
    d.height = height;
    d.bpp = 24;
    d.pixel = [](int x, int y) { return static_cast<uint32_t>(0x102030 + x * 0x010000 + y * 0x000100); };
    return d;
}

res::ResourceFile sampleFile() {
    res::ResourceFile f;
    f.strings = {{1, u"Hello, world"}, {2, u""}, {8025, u"\u626B\u63CF\u4EEA \U00020000"}};
    f.dialogs = {{8000, sampleDialog()}};
    f.bitmaps = {{10439, bmpFile(grey24(3, 2))}};
    f.icons = {{8006, icoFile({IconSpec{grey24(16, 16), nullptr}, IconSpec{grey24(32, 32), nullptr}})}};
    return f;
}

class Resources : public ::testing::Test {
protected:
    Machine machine;
};

// ---- LoadLibraryW, GetProcAddress, FreeLibrary ----------------------------------------------------------

TEST_F(Resources, AResourceFileLoadsAsAModuleThatExportsNothing) {
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(sampleFile()));
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_TRUE(res::isResourceModule(module));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetProcAddress(module, "LoadStringW"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(module, "DllEntryPoint"), nullptr);
    WCHAR path[260] = {};
    EXPECT_GT(GetModuleFileNameW(module, path, 260), 0u);
    EXPECT_EQ(std::u16string(path), u"C:\\Program Files\\Test\\kelrtest.dll");

    // Found by its file name (".dll" may be left off) or its whole path, without regard to case.
    for (const char16_t* name : {u"kelrtest.dll", u"KELRTEST", u"c:\\program files\\test\\kelrtest.dll"})
        EXPECT_EQ(GetModuleHandleW(name), module) << platform::toUtf8(name);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleHandleW(u"kelrtes"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    // The same file again is the same module, counted; the last FreeLibrary releases it.
    HMODULE again = LoadLibraryW(u"c:\\program files\\TEST\\KELRTEST.DLL");
    EXPECT_EQ(again, module);
    EXPECT_TRUE(FreeLibrary(again));
    WCHAR text[32];
    EXPECT_EQ(LoadStringW(module, 1, text, 32), 12);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(res::isResourceModule(module));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadStringW(module, 1, text, 32), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Resources, AMissingLibraryFailsWithModNotFound) {
    for (const char16_t* name : {u"C:\\Program Files\\Test\\kelrxx.dll", u"kelrnowhere.dll", u"C:\\nofolder\\a.dll"}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(LoadLibraryW(name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << platform::toUtf8(name);
    }
}

TEST_F(Resources, ABareNameIsFoundInSystem32) {
    machine.writeFile(u"C:\\Windows\\System32\\kelrsys.dll", rescomp::writeResourceFile(sampleFile()));
    HMODULE module = LoadLibraryW(u"kelrsys");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(res::stringIds(module), (std::vector<UINT>{1, 2, 8025}));
    FreeLibrary(module);
}

// ---- LoadStringW ---------------------------------------------------------------------------------------

TEST_F(Resources, LoadStringCopiesAtMostSizeLessOneAndTerminates) {
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(sampleFile()));
    ASSERT_NE(module, nullptr);
    struct Case {
        int size;
        int returned;
        std::u16string text;
    };
    const Case cases[] = {
        {100, 12, u"Hello, world"}, {13, 12, u"Hello, world"}, {12, 11, u"Hello, worl"},
        {2, 1, u"H"},               {1, 0, u""},
    };
    for (const Case& c : cases) {
        std::vector<WCHAR> buffer(static_cast<size_t>(c.size) + 4, u'#');
        EXPECT_EQ(LoadStringW(module, 1, buffer.data(), c.size), c.returned) << c.size;
        EXPECT_EQ(std::u16string(buffer.data()), c.text) << c.size;
        EXPECT_EQ(buffer[static_cast<size_t>(c.size)], u'#') << "wrote past the buffer of " << c.size;
    }
    // Characters beyond the basic plane are two units, counted as such.
    WCHAR wide[16];
    EXPECT_EQ(LoadStringW(module, 8025, wide, 16), 6);
    EXPECT_EQ(std::u16string(wide), u"\u626B\u63CF\u4EEA \U00020000");
    FreeLibrary(module);
}

TEST_F(Resources, LoadStringWithSizeZeroGivesAReadOnlyPointer) {
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(sampleFile()));
    ASSERT_NE(module, nullptr);
    const WCHAR* text = nullptr;
    EXPECT_EQ(LoadStringW(module, 1, reinterpret_cast<LPWSTR>(&text), 0), 12);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text, 12), u"Hello, world");
    EXPECT_EQ(LoadStringW(module, 2, reinterpret_cast<LPWSTR>(&text), 0), 0);  // an empty string
    FreeLibrary(module);
}

TEST_F(Resources, LoadStringFailures) {
    res::ResourceFile noStrings;
    noStrings.dialogs = {{8000, sampleDialog()}};
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(sampleFile()));
    HMODULE bare = loadResources(machine, rescomp::writeResourceFile(noStrings), u"C:\\Test\\bare.dll");
    ASSERT_NE(module, nullptr);
    ASSERT_NE(bare, nullptr);
    struct Case {
        const char* what;
        HMODULE module;
        UINT id;
        DWORD error;
    };
    const Case cases[] = {
        {"missing id", module, 3, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"id beyond 16 bits", module, 0x10001, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"module without strings", bare, 1, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"no module", nullptr, 1, ERROR_RESOURCE_DATA_NOT_FOUND},
        {"not a module", reinterpret_cast<HMODULE>(&noStrings), 1, ERROR_RESOURCE_DATA_NOT_FOUND},
    };
    for (const Case& c : cases) {
        WCHAR buffer[8] = {u'x', u'x'};
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(LoadStringW(c.module, c.id, buffer, 8), 0) << c.what;
        EXPECT_EQ(buffer[0], u'\0') << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadStringW(module, 1, nullptr, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    FreeLibrary(module);
    FreeLibrary(bare);
}

// ---- The framework's view ------------------------------------------------------------------------------

TEST_F(Resources, DialogTemplatesAndIdsComeBackAsWritten) {
    res::ResourceFile file = sampleFile();
    file.rightToLeft = true;
    std::string bytes = rescomp::writeResourceFile(file);
    auto parsed = res::parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, file);

    HMODULE module = loadResources(machine, bytes);
    ASSERT_NE(module, nullptr);
    auto dialog = res::findDialog(module, 8000);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(*dialog, sampleDialog());
    EXPECT_TRUE(dialog->rightToLeft());
    EXPECT_EQ(dialog->controls.at(1).id, -1);
    EXPECT_FALSE(res::findDialog(module, 8001));
    EXPECT_TRUE(res::isRightToLeft(module));
    EXPECT_EQ(res::dialogIds(module), std::vector<UINT>{8000});
    EXPECT_EQ(res::bitmapIds(module), std::vector<UINT>{10439});
    EXPECT_EQ(res::iconIds(module), std::vector<UINT>{8006});
    FreeLibrary(module);
    EXPECT_FALSE(res::findDialog(module, 8000));
    EXPECT_TRUE(res::dialogIds(module).empty());

    file.rightToLeft = false;
    module = loadResources(machine, rescomp::writeResourceFile(file), u"C:\\Test\\ltr.dll");
    EXPECT_FALSE(res::isRightToLeft(module));
    FreeLibrary(module);
}

TEST_F(Resources, TheWriterRefusesWhatTheFormatCannotHold) {
    auto refuses = [](const res::ResourceFile& f) {
        EXPECT_THROW(rescomp::writeResourceFile(f), std::invalid_argument);
    };
    res::ResourceFile f;
    f.strings = {{0x10000, u"x"}};
    refuses(f);
    f = {};
    f.dialogs = {{0, sampleDialog()}};
    refuses(f);
    f = {};
    f.strings = {{1, std::u16string(0x10000, u'a')}};
    refuses(f);
    f = {};
    f.bitmaps = {{1, "not a bmp"}};
    refuses(f);
    f = {};
    f.icons = {{1, "\x89PNG"}};
    refuses(f);
}

// ---- Damaged files -------------------------------------------------------------------------------------

// The offset of the first directory entry of a type in a written file (0 when there is none).
size_t entryOf(uint32_t type, const std::string& bytes) {
    uint32_t count = get32(bytes, 24);
    for (uint32_t i = 0; i < count; ++i)
        if (get32(bytes, 32 + 16 * i) == type) return 32 + 16 * i;
    return 0;
}

TEST_F(Resources, DamagedFilesAreRefusedWhole) {
    const std::string good = rescomp::writeResourceFile(sampleFile());
    ASSERT_TRUE(res::parse(good));
    const size_t dialogEntry = entryOf(res::kTypeDialog, good);
    const size_t stringEntry = entryOf(res::kTypeString, good);
    const size_t bitmapEntry = entryOf(res::kTypeBitmap, good);
    ASSERT_NE(dialogEntry, 0u);
    const size_t dialogAt = get32(good, dialogEntry + 8);
    const size_t dialogSize = get32(good, dialogEntry + 12);

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        bool reseal;        // recompute the checksum so that the structure checks are reached
        const char* why;    // part of the reason given
    };
    const Case cases[] = {
        {"empty", [](std::string& b) { b.clear(); }, false, "shorter than its header"},
        {"wrong version", [](std::string& b) { b[8] = 2; }, true, "version 2"},
        {"cut short", [](std::string& b) { b.resize(b.size() - 1); }, false, "cut short"},
        {"padded", [](std::string& b) { b += '\0'; }, false, "cut short or padded"},
        {"a flipped byte", [](std::string& b) { b[b.size() - 3] ^= 0x20; }, false, "checksum"},
        {"unknown flags", [](std::string& b) { b[12] = 0x06; }, true, "unknown flags"},
        {"reserved field", [](std::string& b) { b[28] = 1; }, true, "reserved"},
        {"huge count", [](std::string& b) { set32(b, 24, 0x10000000); }, true, "directory runs past"},
        {"entry past the end", [&](std::string& b) { set32(b, stringEntry + 8, static_cast<uint32_t>(b.size())); set32(b, stringEntry + 12, 2); }, true, "outside"},
        {"entry size huge", [&](std::string& b) { set32(b, stringEntry + 12, 0xFFFFFFF0); }, true, "outside"},
        {"entry inside the directory", [&](std::string& b) { set32(b, stringEntry + 8, 0); }, true, "outside"},
        {"entries out of order", [&](std::string& b) { set32(b, dialogEntry, res::kTypeBitmap); }, true, "out of order"},
        {"repeated id", [&](std::string& b) { set32(b, stringEntry + 16 + 4, 1); }, true, "repeats"},
        {"unknown type", [&](std::string& b) { set32(b, entryOf(res::kTypeString, b) + 32, 99); }, true, "unknown type"},
        {"dialog id 0", [&](std::string& b) { set32(b, dialogEntry + 4, 0); }, true, "out of range"},
        {"odd string", [&](std::string& b) { set32(b, stringEntry + 12, 3); }, true, "UTF-16"},
        {"bitmap not BMP", [&](std::string& b) { b[get32(b, bitmapEntry + 8)] = 'X'; }, true, "not a BMP"},
        {"dialog cut", [&](std::string& b) { set32(b, dialogEntry + 12, 10); }, true, "runs past"},
        {"dialog trailing bytes", [&](std::string& b) { set32(b, dialogEntry + 12, static_cast<uint32_t>(dialogSize + 2)); }, true, "after its last control"},
        {"dialog control count", [&](std::string& b) { b[dialogAt + 18] = '\xff'; b[dialogAt + 19] = '\xff'; }, true, "more controls"},
        {"dialog title length", [&](std::string& b) { b[dialogAt + 20] = '\xff'; b[dialogAt + 21] = '\x7f'; }, true, "runs past"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        if (c.reseal) rescomp::sealChecksum(bytes);
        std::string why;
        EXPECT_FALSE(res::parse(bytes, &why)) << c.what;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;

        std::u16string path = u"C:\\Test\\damaged" + platform::fromUtf8(std::to_string(n++)) + u".dll";
        if (bytes.size() < sizeof res::kMagic) continue;  // not recognisable as a resource file at all
        platform::clearDebugLog();
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(loadResources(machine, bytes, path), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT)) << c.what;
        auto log = platform::debugLog();
        ASSERT_FALSE(log.empty()) << c.what;
        EXPECT_NE(log.back().find("damaged resource file"), std::string::npos) << log.back();
    }
}

TEST_F(Resources, EveryCutAndEveryFlippedByteIsRefusedWithoutACrash) {
    const std::string good = rescomp::writeResourceFile(sampleFile());
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(res::parse(std::string_view(good).substr(0, size))) << "cut at " << size;
    // Behind a recomputed checksum any byte may be damaged: the reader must stay within the file
    // whatever the structure then says (the sanitizer build watches that), and refuse or read it.
    int refused = 0;
    for (size_t at = 0; at < good.size(); ++at) {
        for (unsigned char bit : {0x01, 0x80}) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(bytes[at] ^ bit);
            EXPECT_FALSE(res::parse(bytes)) << "flip at " << at;
            rescomp::sealChecksum(bytes);
            if (!res::parse(bytes)) ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

// ---- Bitmaps --------------------------------------------------------------------------------------------

struct Picture {
    const char* what;
    DibShape shape;
    std::function<COLORREF(int x, int y)> expected;
};

std::vector<Picture> pictures() {
    std::vector<Picture> list;
    auto rgb = [](uint32_t v) { return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); };
    {
        DibShape d = grey24(5, 3);  // 15 bytes a row: padded to 16
        list.push_back({"24 bits, bottom-up", d, [=](int x, int y) { return rgb(d.pixel(x, y)); }});
        d.topDown = true;
        list.push_back({"24 bits, top-down", d, [=](int x, int y) { return rgb(d.pixel(x, y)); }});
        d.bpp = 32;
        d.topDown = false;
        list.push_back({"32 bits", d, [=](int x, int y) { return rgb(d.pixel(x, y)); }});
    }
    {
        DibShape d;
        d.width = 7;
        d.height = 4;
        d.bpp = 8;
        for (int i = 0; i < 256; ++i) d.table.push_back(RGB(i, 255 - i, (i * 7) & 0xFF));
        d.clrUsed = 0;  // 0: the whole table of 256 follows
        d.pixel = [](int x, int y) { return static_cast<uint32_t>(x * 30 + y * 5); };
        auto colour = [](int x, int y) {
            int i = x * 30 + y * 5;
            return RGB(i, 255 - i, (i * 7) & 0xFF);
        };
        list.push_back({"8 bits, full table", d, colour});
        DibShape small = d;
        small.table = {RGB(255, 0, 0), RGB(0, 128, 0), RGB(0, 0, 255)};
        small.clrUsed = 3;
        small.pixel = [](int x, int y) { return static_cast<uint32_t>((x + y) % 3); };
        const COLORREF three[] = {RGB(255, 0, 0), RGB(0, 128, 0), RGB(0, 0, 255)};
        list.push_back({"8 bits, three colours", small, [=](int x, int y) { return three[(x + y) % 3]; }});
        DibShape four = small;
        four.bpp = 4;
        list.push_back({"4 bits", four, [=](int x, int y) { return three[(x + y) % 3]; }});
    }
    {
        DibShape d;
        d.width = 9;
        d.height = 2;
        d.bpp = 1;
        d.table = {RGB(0, 0, 0), RGB(255, 255, 255)};
        d.clrUsed = 2;
        d.pixel = [](int x, int y) { return static_cast<uint32_t>((x + y) & 1); };
        list.push_back({"1 bit", d, [](int x, int y) { return (x + y) & 1 ? RGB(255, 255, 255) : RGB(0, 0, 0); }});
    }
    return list;
}

void expectPixels(HBITMAP bitmap, const Picture& p, int width, int height) {
    ASSERT_NE(bitmap, nullptr) << p.what;
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds)) << p.what;
    EXPECT_EQ(ds.dsBm.bmWidth, width) << p.what;
    EXPECT_EQ(ds.dsBm.bmHeight, height) << p.what;
    EXPECT_EQ(ds.dsBm.bmBitsPixel, p.shape.bpp) << p.what;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(GetPixel(dc, x, y), p.expected(x * p.shape.width / width, y * p.shape.height / height))
                << p.what << " at " << x << "," << y;
    SelectObject(dc, old);
    DeleteDC(dc);
}

TEST_F(Resources, LoadBitmapGivesThePixelsOfTheBmp) {
    res::ResourceFile file;
    auto list = pictures();
    for (size_t i = 0; i < list.size(); ++i) file.bitmaps[static_cast<UINT>(100 + i)] = bmpFile(list[i].shape);
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(file));
    ASSERT_NE(module, nullptr);
    for (size_t i = 0; i < list.size(); ++i) {
        HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(100 + i));
        expectPixels(bitmap, list[i], list[i].shape.width, list[i].shape.height);
        // The rows are the file's, byte for byte.
        DIBSECTION ds{};
        GetObjectW(bitmap, sizeof ds, &ds);
        std::string rows = dibRows(list[i].shape, list[i].shape.height);
        EXPECT_EQ(std::memcmp(ds.dsBm.bmBits, rows.data(), rows.size()), 0) << list[i].what;
        EXPECT_EQ(ds.dsBmih.biHeight, list[i].shape.topDown ? -list[i].shape.height : list[i].shape.height);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadBitmapW(module, MAKEINTRESOURCEW(99)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadBitmapW(module, u"NAMED"), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(100)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    FreeLibrary(module);
}

TEST_F(Resources, LoadImageStretchesBitmapsAndReadsFiles) {
    auto list = pictures();
    res::ResourceFile file;
    file.bitmaps[1] = bmpFile(list[0].shape);
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(file));
    ASSERT_NE(module, nullptr);
    auto* same = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    expectPixels(same, list[0], 5, 3);
    DeleteObject(same);
    auto* twice = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 10, 6, LR_CREATEDIBSECTION));
    expectPixels(twice, list[0], 10, 6);
    DeleteObject(twice);
    FreeLibrary(module);

    for (const Picture& p : {list[3], list[6]}) {
        machine.writeFile(u"C:\\Pictures\\skin.bmp", bmpFile(p.shape));
        auto* fromFile = static_cast<HBITMAP>(LoadImageW(nullptr, u"C:\\Pictures\\skin.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        expectPixels(fromFile, p, p.shape.width, p.shape.height);
        DeleteObject(fromFile);
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadImageW(nullptr, u"C:\\Pictures\\none.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadImageW(nullptr, u"C:\\Pictures\\skin.bmp", IMAGE_CURSOR, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(Resources, BadBmpBytesAreRefused) {
    const std::string good = bmpFile(pictures()[3].shape);  // 8 bits, 7 x 4, full table
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const Case cases[] = {
        {"rows cut", [](std::string& b) { b.resize(b.size() - 1); }},
        {"table cut", [](std::string& b) { b.resize(14 + 40 + 100); set32(b, 10, 14 + 40); }},
        {"header size", [](std::string& b) { set32(b, 14, 20); }},
        {"RLE", [](std::string& b) { set32(b, 30, BI_RLE8); }},
        {"zero width", [](std::string& b) { set32(b, 18, 0); }},
        {"huge width", [](std::string& b) { set32(b, 18, 0x7FFFFFFF); }},
        {"lowest height", [](std::string& b) { set32(b, 22, 0x80000000); }},
        {"7 bits", [](std::string& b) { b[28] = 7; }},
        {"two planes", [](std::string& b) { b[26] = 2; }},
        {"offset past the end", [](std::string& b) { set32(b, 10, 0xFFFFFF00); }},
        {"bit fields on 8 bits", [](std::string& b) { set32(b, 30, BI_BITFIELDS); }},
        {"only the file header", [](std::string& b) { b.resize(16); }},
    };
    res::ResourceFile file;
    UINT id = 1;
    for (const Case& c : cases) {
        std::string bytes = good;
        c.damage(bytes);
        file.bitmaps[id++] = bytes;
    }
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(file));
    ASSERT_NE(module, nullptr);
    id = 1;
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(LoadBitmapW(module, MAKEINTRESOURCEW(id++)), nullptr) << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << c.what;
    }
    FreeLibrary(module);
}

TEST_F(Resources, EveryCutOrSmashedPictureIsRefusedOrReadWithoutACrash) {
    DibShape eight;
    eight.width = 3;
    eight.height = 2;
    eight.bpp = 8;
    eight.table = {RGB(1, 2, 3), RGB(4, 5, 6)};
    eight.clrUsed = 2;
    eight.pixel = [](int x, int) { return static_cast<uint32_t>(x & 1); };
    DibShape four = eight;
    four.bpp = 4;
    const std::string pictures[] = {bmpFile(grey24(3, 2)), bmpFile(eight),
                                    icoFile({IconSpec{four, nullptr}, IconSpec{grey24(2, 2), nullptr}})};
    for (const std::string& picture : pictures) {
        const bool icon = picture[0] == '\0';
        auto load = [&](const std::string& bytes) {
            machine.writeFile(u"C:\\Pictures\\cut.pic", bytes);
            HANDLE image = LoadImageW(nullptr, u"C:\\Pictures\\cut.pic", icon ? IMAGE_ICON : IMAGE_BITMAP, 0, 0,
                                      LR_LOADFROMFILE);
            if (image && icon) DestroyIcon(static_cast<HICON>(image));
            if (image && !icon) DeleteObject(image);
            return image != nullptr;
        };
        ASSERT_TRUE(load(picture));
        for (size_t size = 0; size < picture.size(); ++size)
            EXPECT_FALSE(load(picture.substr(0, size))) << (icon ? "icon" : "bitmap") << " cut at " << size;
        // Any header byte may say anything: the loader must stay within the bytes.
        for (size_t at = 0; at < std::min<size_t>(picture.size(), 80); ++at) {
            for (unsigned char value : {0x00, 0x7F, 0xFF}) {
                std::string bytes = picture;
                bytes[at] = static_cast<char>(value);
                load(bytes);
            }
        }
    }
}

// ---- Icons ----------------------------------------------------------------------------------------------

TEST_F(Resources, IconsComeFromTheNearestImageWithTheirMask) {
    IconSpec small{grey24(16, 16), nullptr};
    IconSpec large{grey24(32, 32), [](int x, int y) { return x < 4 && y == 0; }};
    res::ResourceFile file;
    file.icons[8006] = icoFile({small, large});
    file.icons[8007] = bmpFile(grey24(20, 10));
    file.icons[8008] = std::string("\0\0\1\0\1\0", 6) + std::string(16, '\xff');  // its image lies nowhere
    HMODULE module = loadResources(machine, rescomp::writeResourceFile(file));
    ASSERT_NE(module, nullptr);

    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(8006));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(8006)), icon);  // shared
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 16u);
    BITMAP color{}, mask{};
    GetObjectW(info.hbmColor, sizeof color, &color);
    GetObjectW(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(color.bmWidth, 32);
    EXPECT_EQ(color.bmHeight, 32);
    EXPECT_EQ(mask.bmBitsPixel, 1);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmMask);
    EXPECT_EQ(GetPixel(dc, 3, 0), RGB(255, 255, 255));  // transparent
    EXPECT_EQ(GetPixel(dc, 4, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 0));
    SelectObject(dc, info.hbmColor);
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0x12, 0x21, 0x30));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(DestroyIcon(icon));  // a shared icon stays
    EXPECT_TRUE(GetIconInfo(icon, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    auto* sixteen = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(8006), IMAGE_ICON, 16, 16, 0));
    ASSERT_NE(sixteen, nullptr);
    EXPECT_NE(sixteen, icon);
    ASSERT_TRUE(GetIconInfo(sixteen, &info));
    GetObjectW(info.hbmColor, sizeof color, &color);
    EXPECT_EQ(color.bmWidth, 16);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(DestroyIcon(sixteen));
    EXPECT_FALSE(DestroyIcon(sixteen));

    HICON fromBmp = LoadIconW(module, MAKEINTRESOURCEW(8007));  // a BMP held as an icon: no transparency
    ASSERT_TRUE(GetIconInfo(fromBmp, &info));
    GetObjectW(info.hbmColor, sizeof color, &color);
    EXPECT_EQ(color.bmWidth, 20);
    EXPECT_EQ(color.bmHeight, 10);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(8008)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    // Shared icons go with their module.
    FreeLibrary(module);
    EXPECT_FALSE(GetIconInfo(icon, &info));

    machine.writeFile(u"C:\\Pictures\\app.ico", icoFile({small, large}));
    auto* fromFile = static_cast<HICON>(LoadImageW(nullptr, u"C:\\Pictures\\app.ico", IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
    ASSERT_NE(fromFile, nullptr);
    EXPECT_TRUE(DestroyIcon(fromFile));
}

}  // namespace
