// Device contexts: a printer's information context asked of its own driver, memory DCs, saved states
// and the mapping of logical to device points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/fonts.h"
#include "platform/testing/machine.h"
#include "win/gdi.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

const std::u16string kPrinter = u"Fake Laser";

std::string devmodeBytes(SHORT dpi, SHORT paper, SHORT orientation) {
    DEVMODEW dm{};
    std::u16string name = kPrinter;
    std::copy(name.begin(), name.end(), dm.dmDeviceName);
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE;
    dm.dmOrientation = orientation;
    dm.dmPaperSize = paper;
    dm.dmYResolution = dpi;
    dm.dmPrintQuality = dpi;
    std::string bytes(sizeof dm, '\0');
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
}

class PrinterDc : public ::testing::Test {
protected:
    PrinterDc() {
        platform::installPrinter({.name = kPrinter,
                                  .port = u"USB001",
                                  .driverName = u"Fake Mono Laser",
                                  .driverModule = GDI_FAKE_DRIVER_MODULE,
                                  .driverModuleName = u"FakeLaser.dll",
                                  .defaultDevmode = devmodeBytes(600, DMPAPER_A4, DMORIENT_PORTRAIT)});
        // Kept loaded by the test, so that its log outlives GDI's FreeLibrary.
        module = LoadLibraryW(platform::driverModulePath(u"Fake Mono Laser")->c_str());
        takeLog = reinterpret_cast<const char* (*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "FakeDriverTakeLog")));
        takeLog();
    }
    ~PrinterDc() override {
        if (module) FreeLibrary(module);
    }
    Machine machine;
    HMODULE module = nullptr;
    const char* (*takeLog)() = nullptr;
};

struct Expected {
    int dpi;
    double widthMm, heightMm;
};

void expectCaps(HDC dc, const Expected& e) {
    int physW = static_cast<int>(std::lround(e.widthMm / 25.4 * e.dpi));
    int physH = static_cast<int>(std::lround(e.heightMm / 25.4 * e.dpi));
    EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), physW);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), physH);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 100);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETY), 100);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), physW - 200);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), physH - 200);
    // Micrometres from the driver become millimetres; millimetres stay.
    EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), std::lround(std::lround((physW - 200) * 25400.0 / e.dpi) / 1000.0));
    EXPECT_EQ(GetDeviceCaps(dc, VERTSIZE), std::lround((physH - 200) * 25.4 / e.dpi));
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), e.dpi);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), e.dpi);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 8);
    EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
}

TEST_F(PrinterDc, CapabilitiesComeFromTheDriverWithTheDevmodeGivenOrThePrintersOwn) {
    HDC dc = CreateDCW(u"WINSPOOL", kPrinter.c_str(), nullptr, nullptr);
    ASSERT_NE(dc, nullptr) << GetLastError();
    expectCaps(dc, {600, 210, 297});
    EXPECT_EQ(std::string(takeLog()),
              "EnableDriver(3)\nEnablePDEV(Fake Laser,printer,hdev,patterns=6)\nCompletePDEV\nDisablePDEV\n"
              "DisableDriver\n");
    EXPECT_TRUE(DeleteDC(dc));

    std::string bytes = devmodeBytes(300, DMPAPER_LETTER, DMORIENT_LANDSCAPE);
    dc = CreateDCW(nullptr, kPrinter.c_str(), nullptr, reinterpret_cast<const DEVMODEW*>(bytes.data()));
    ASSERT_NE(dc, nullptr) << GetLastError();
    expectCaps(dc, {300, 279.4, 215.9});
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST_F(PrinterDc, IsAnInformationContextThatTakesFontsButNoDrawing) {
    HDC dc = CreateDCW(u"WINSPOOL", kPrinter.c_str(), nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -100;
    std::u16string face = u"Arial";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    EXPECT_NE(old, nullptr);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 100);
    EXPECT_EQ(tm.tmDigitizedAspectY, 600);
    EXPECT_FALSE(ExtTextOutW(dc, 0, 0, 0, nullptr, u"x", 1, nullptr));
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 8, 8);
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST_F(PrinterDc, FailuresOfEachStepGiveNoDc) {
    struct Case {
        const char* name;
        const char16_t* driver;
        const char16_t* device;
        const char* fault;
        DWORD error;
    };
    const Case cases[] = {
        {"unknown printer", u"WINSPOOL", u"No Such Printer", nullptr, ERROR_INVALID_PRINTER_NAME},
        {"no device", u"WINSPOOL", nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {"other driver", u"PLOTTER", kPrinter.c_str(), nullptr, ERROR_INVALID_PARAMETER},
        {"CreateDCW fault", u"WINSPOOL", kPrinter.c_str(), "CreateDCW", ERROR_INVALID_PARAMETER},
        {"GetPrinterW fault", u"WINSPOOL", kPrinter.c_str(), "GetPrinterW", ERROR_INVALID_HANDLE},
        {"LoadLibrary fault", u"WINSPOOL", kPrinter.c_str(), "LoadLibrary", ERROR_MOD_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::clearFaults();
        if (c.fault) platform::setFault(c.fault, platform::Fault());
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateDCW(c.driver, c.device, nullptr, nullptr), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    platform::clearFaults();
    // The device refuses the DEVMODE: the driver is still disabled and unloaded.
    std::string bytes = devmodeBytes(13, DMPAPER_A4, DMORIENT_PORTRAIT);
    takeLog();
    EXPECT_EQ(CreateDCW(u"WINSPOOL", kPrinter.c_str(), nullptr, reinterpret_cast<const DEVMODEW*>(bytes.data())),
              nullptr);
    EXPECT_EQ(std::string(takeLog()), "EnableDriver(3)\nEnablePDEV(Fake Laser,printer,hdev,patterns=6)\nDisableDriver\n");
    // A DEVMODE too short to be one.
    DEVMODEW tiny{};
    tiny.dmSize = 20;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateDCW(u"WINSPOOL", kPrinter.c_str(), nullptr, &tiny), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

class Dcs : public ::testing::Test {
protected:
    Machine machine;
};

TEST_F(Dcs, MemoryAndDisplayDcsAreTheNinetySixDpiScreen) {
    HDC memory = CreateCompatibleDC(nullptr);
    HDC display = CreateDCW(u"DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(memory, nullptr);
    ASSERT_NE(display, nullptr);
    for (HDC dc : {memory, display}) {
        EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
        EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
        EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASDISPLAY);
        EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
        EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1920);
        EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 508);
        EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 0);
    }
    EXPECT_EQ(GetObjectType(memory), static_cast<DWORD>(OBJ_MEMDC));
    // The stock monochrome bitmap sits in every new memory DC.
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(GetCurrentObject(memory, OBJ_BITMAP), sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(GetDeviceCaps(nullptr, HORZRES), 0);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteDC(display));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_EQ(platform::fonts::liveGdiObjects(), 0u);
}

TEST_F(Dcs, RestoreDcBringsBackColoursModesOriginsAndFont) {
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -20;
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ systemFont = GetCurrentObject(dc, OBJ_FONT);

    SetTextColor(dc, RGB(1, 2, 3));
    SetViewportOrgEx(dc, 10, 20, nullptr);
    SetWindowOrgEx(dc, 5, 6, nullptr);
    EXPECT_EQ(SaveDC(dc), 1);
    SetTextColor(dc, RGB(100, 100, 100));
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SelectObject(dc, font);
    EXPECT_EQ(SaveDC(dc), 2);
    SetTextColor(dc, RGB(7, 7, 7));
    SetWindowOrgEx(dc, -1, -1, nullptr);
    EXPECT_EQ(SaveDC(dc), 3);

    EXPECT_TRUE(RestoreDC(dc, -1));  // back to level 3's state: the last changes
    EXPECT_EQ(GetTextColor(dc), RGB(7, 7, 7));
    EXPECT_TRUE(RestoreDC(dc, -1));  // level 2
    EXPECT_EQ(GetTextColor(dc), RGB(100, 100, 100));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_BASELINE));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
    POINT p{};
    GetWindowOrgEx(dc, &p);
    EXPECT_EQ(p.x, 5);
    EXPECT_TRUE(RestoreDC(dc, 1));  // absolute level 1
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), systemFont);
    GetViewportOrgEx(dc, &p);
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);
    GetWindowOrgEx(dc, &p);
    EXPECT_EQ(p.y, 6);
    // Nothing is left to restore; levels that do not exist fail.
    EXPECT_FALSE(RestoreDC(dc, -1));
    EXPECT_FALSE(RestoreDC(dc, 0));
    EXPECT_EQ(SaveDC(dc), 1);
    EXPECT_FALSE(RestoreDC(dc, 2));
    EXPECT_FALSE(RestoreDC(dc, -2));
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST_F(Dcs, LogicalAndDevicePointsRoundTrip) {
    struct Case {
        const char* name;
        int graphicsMode;
        XFORM world;
        int mapMode;
        POINT viewportOrg, windowOrg;
        SIZE windowExt, viewportExt;
        POINT logical, device;  // one known pair
    };
    const XFORM identity{1, 0, 0, 1, 0, 0};
    const Case cases[] = {
        {"MM_TEXT", GM_COMPATIBLE, identity, MM_TEXT, {0, 0}, {0, 0}, {1, 1}, {1, 1}, {30, 40}, {30, 40}},
        {"origins", GM_COMPATIBLE, identity, MM_TEXT, {100, 50}, {10, 20}, {1, 1}, {1, 1}, {30, 40}, {120, 70}},
        {"world scale", GM_ADVANCED, {2, 0, 0, 3, 5, 7}, MM_TEXT, {0, 0}, {0, 0}, {1, 1}, {1, 1}, {10, 10}, {25, 37}},
        {"world turn 90", GM_ADVANCED, {0, 1, -1, 0, 0, 0}, MM_TEXT, {0, 0}, {0, 0}, {1, 1}, {1, 1}, {10, 4}, {-4, 10}},
        {"anisotropic", GM_COMPATIBLE, identity, MM_ANISOTROPIC, {0, 0}, {0, 0}, {100, 100}, {300, -200},
         {10, 10}, {30, -20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HDC dc = CreateCompatibleDC(nullptr);
        ASSERT_EQ(SetGraphicsMode(dc, c.graphicsMode), GM_COMPATIBLE);
        if (c.graphicsMode == GM_ADVANCED) {
            ASSERT_TRUE(SetWorldTransform(dc, &c.world));
        }
        SetMapMode(dc, c.mapMode);
        SetWindowExtEx(dc, c.windowExt.cx, c.windowExt.cy, nullptr);
        SetViewportExtEx(dc, c.viewportExt.cx, c.viewportExt.cy, nullptr);
        SetViewportOrgEx(dc, c.viewportOrg.x, c.viewportOrg.y, nullptr);
        SetWindowOrgEx(dc, c.windowOrg.x, c.windowOrg.y, nullptr);
        POINT p = c.logical;
        ASSERT_TRUE(LPtoDP(dc, &p, 1));
        EXPECT_EQ(p.x, c.device.x);
        EXPECT_EQ(p.y, c.device.y);
        ASSERT_TRUE(DPtoLP(dc, &p, 1));
        EXPECT_EQ(p.x, c.logical.x);
        EXPECT_EQ(p.y, c.logical.y);
        std::vector<POINT> many = {{0, 0}, {-7, 13}, {1000, -3}, {123456, 654321}};
        std::vector<POINT> copy = many;
        ASSERT_TRUE(LPtoDP(dc, copy.data(), static_cast<int>(copy.size())));
        ASSERT_TRUE(DPtoLP(dc, copy.data(), static_cast<int>(copy.size())));
        for (size_t i = 0; i < many.size(); ++i) {
            EXPECT_EQ(copy[i].x, many[i].x);
            EXPECT_EQ(copy[i].y, many[i].y);
        }
        // Back to the identity (as the watermark's font maker does) leaves only the page mapping.
        if (c.graphicsMode == GM_ADVANCED) {
            ASSERT_TRUE(ModifyWorldTransform(dc, nullptr, MWT_IDENTITY));
            XFORM x{};
            GetWorldTransform(dc, &x);
            EXPECT_EQ(x.eM11, 1.0f);
            EXPECT_EQ(x.eDx, 0.0f);
        }
        DeleteDC(dc);
    }
}

TEST_F(Dcs, WorldTransformNeedsTheAdvancedModeAndAnInvertibleMatrix) {
    HDC dc = CreateCompatibleDC(nullptr);
    XFORM scale{2, 0, 0, 2, 0, 0};
    EXPECT_FALSE(SetWorldTransform(dc, &scale));
    EXPECT_FALSE(ModifyWorldTransform(dc, nullptr, MWT_IDENTITY));
    EXPECT_EQ(SetGraphicsMode(dc, GM_ADVANCED), GM_COMPATIBLE);
    XFORM singular{1, 1, 1, 1, 0, 0};
    EXPECT_FALSE(SetWorldTransform(dc, &singular));
    EXPECT_TRUE(SetWorldTransform(dc, &scale));
    XFORM shift{1, 0, 0, 1, 10, 0};
    EXPECT_TRUE(ModifyWorldTransform(dc, &shift, MWT_RIGHTMULTIPLY));  // scale, then shift
    POINT p{5, 5};
    LPtoDP(dc, &p, 1);
    EXPECT_EQ(p.x, 20);
    EXPECT_EQ(p.y, 10);
    EXPECT_TRUE(ModifyWorldTransform(dc, &shift, MWT_LEFTMULTIPLY));  // shift first, then the rest
    p = POINT{5, 5};
    LPtoDP(dc, &p, 1);
    EXPECT_EQ(p.x, 40);
    // Back to compatible only with the identity.
    EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), 0);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), GM_ADVANCED);
    EXPECT_FALSE(LPtoDP(nullptr, &p, 1));
    EXPECT_FALSE(LPtoDP(dc, nullptr, 1));
    DeleteDC(dc);
}

}  // namespace
