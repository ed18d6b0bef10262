// skin-dialog: runs a dialog with skinned buttons and a transparent label headless on a throwaway
// machine, points the mouse at its first button and writes the dialog's picture as a PNG.
//
//     skin-dialog OUTPUT.png
#include <cstdio>
#include <string>
#include <thread>

#include "StaticTrans.h"
#include "afx/afxwin.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "xSkinButton.h"

namespace {

namespace dlg = platform::dialogs;
namespace res = platform::resources;

constexpr UINT kDemoDialog = 500;
constexpr UINT kBanner = 10439;
constexpr int kScan = 1001, kSettings = 1002, kTitle = 1003, kHint = 1004;

void put(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A 24-bit BMP whose colour at (x, y) (from the top) is `colour(x, y)` as 0xRRGGBB.
template <typename F>
std::string bmp(int width, int height, F colour) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    std::string s = "BM";
    put(s, 54 + stride * height, 4);
    put(s, 0, 4);
    put(s, 54, 4);
    put(s, 40, 4);
    put(s, static_cast<uint32_t>(width), 4);
    put(s, static_cast<uint32_t>(height), 4);
    put(s, 1, 2);
    put(s, 24, 2);
    put(s, 0, 4);
    put(s, stride * height, 4);
    put(s, 2835, 4);
    put(s, 2835, 4);
    put(s, 0, 4);
    put(s, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < width; ++x) put(row, colour(x, y), 3);
        row.resize(stride, '\0');
        s += row;
    }
    return s;
}

// A skin: a vertical gradient between two colours with a one-pixel darker rim.
std::string skin(uint32_t top, uint32_t bottom) {
    return bmp(48, 16, [=](int x, int y) {
        auto mix = [&](int shift) {
            const int a = (top >> shift) & 0xFF, b = (bottom >> shift) & 0xFF;
            return static_cast<uint32_t>(a + (b - a) * y / 15);
        };
        uint32_t c = mix(16) << 16 | mix(8) << 8 | mix(0);
        if (x == 0 || y == 0 || x == 47 || y == 15) c = (c >> 1) & 0x7F7F7F;
        return c;
    });
}

res::ResourceFile demoResources() {
    res::DialogTemplate d;
    d.title = u"Scan button";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 200;
    d.cy = 96;
    const DWORD vis = WS_CHILD | WS_VISIBLE;
    d.controls = {
        {u"STATIC", u"Scan to a PDF file", kTitle, vis, 0, 10, 8, 180, 12},
        {u"STATIC", u"The skinned buttons below show their normal, hover and disabled looks.", kHint, vis, 0, 10, 24, 180, 20},
        {u"BUTTON", u"Scan", kScan, vis | WS_TABSTOP | WS_GROUP, 0, 10, 62, 56, 18},
        {u"BUTTON", u"Settings", kSettings, vis | WS_TABSTOP, 0, 72, 62, 56, 18},
        {u"BUTTON", u"Close", IDCANCEL, vis | WS_TABSTOP, 0, 134, 62, 56, 18},
    };
    res::ResourceFile f;
    f.dialogs[kDemoDialog] = d;
    f.bitmaps[kBanner] = bmp(64, 32, [](int x, int y) {
        return static_cast<uint32_t>(0x18 + x / 4) << 16 | static_cast<uint32_t>(0x40 + y * 2) << 8 | 0x80;
    });
    f.bitmaps[10431] = skin(0x6FA8DC, 0x1F5F9F);  // normal
    f.bitmaps[10432] = skin(0x9FE09F, 0x2F8F3F);  // over
    f.bitmaps[10430] = skin(0xD0D0D0, 0x909090);  // disabled
    f.bitmaps[10429] = skin(0xE07060, 0x902010);  // down (the button never draws it)
    return f;
}

class CDemoDlg : public CDialog {
public:
    CDemoDlg() : CDialog(kDemoDialog) {}
    CxSkinButton scan, settings, close;
    CStaticTrans title, hint;
    CBitmap banner;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (CxSkinButton* b : {&scan, &settings, &close}) b->LoadSkinBitmaps();
        settings.EnableWindow(FALSE);
        banner.LoadBitmap(kBanner);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kScan, scan);
        DDX_Control(dx, kSettings, settings);
        DDX_Control(dx, IDCANCEL, close);
        DDX_Control(dx, kTitle, title);
        DDX_Control(dx, kHint, hint);
    }

protected:
    afx_msg BOOL OnEraseBkgnd(CDC* dc) {
        CRect client;
        GetClientRect(&client);
        dc->StretchBitmap(banner, client.Width(), client.Height());
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CDemoDlg, CDialog)
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

class CSkinDialogApp : public CWinApp {
public:
    BOOL InitInstance() override {
        std::u16string output = m_lpCmdLine ? m_lpCmdLine : u"";
        if (output.size() >= 2 && output.front() == u'"' && output.back() == u'"') output = output.substr(1, output.size() - 2);
        if (output.empty()) {
            std::fprintf(stderr, "usage: skin-dialog OUTPUT.png\n");
            m_exitCode = 2;
            return FALSE;
        }
        platform::testing::Machine machine;  // a throwaway machine for the run
        const std::u16string library = u"C:\\Program Files\\Demo\\kelrdemo.dll";
        machine.writeFile(library, rescomp::writeResourceFile(demoResources()));
        HMODULE resources = LoadLibraryW(library.c_str());
        if (!resources) {
            std::fprintf(stderr, "skin-dialog: the resource library does not load (error %u)\n", GetLastError());
            m_exitCode = 1;
            return FALSE;
        }
        AfxSetResourceHandle(resources);

        const std::string path = platform::toUtf8(output);
        bool written = false;
        int width = 0, height = 0;
        CDemoDlg dialog;
        std::thread user([&] {
            HWND d = dlg::waitForDialog({}, kDemoDialog);
            if (!d) return;
            dlg::hover(d, kScan);
            if (auto picture = dlg::windowPicture(d)) {
                written = dlg::writePng(*picture, path);
                width = picture->width;
                height = picture->height;
            }
            dlg::clickButton(d, IDCANCEL);
        });
        dialog.DoModal();
        user.join();
        AfxSetResourceHandle(nullptr);
        FreeLibrary(resources);
        if (!written) {
            std::fprintf(stderr, "skin-dialog: cannot write %s\n", path.c_str());
            m_exitCode = 1;
            return FALSE;
        }
        std::printf("wrote %s (%d x %d)\n", path.c_str(), width, height);
        return FALSE;
    }
};

CSkinDialogApp theApp;

}  // namespace
