// Painting into the windows' software raster: invalid areas and WM_PAINT, the class background brush,
// window DCs placed and clipped, the built-in controls' look in a dialog from a resource module,
// owner-drawn buttons, and pictures written as PNG files.
#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "support/pictures.h"
#include "win/gdi.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using platform::testing::Machine;

// ---- WM_PAINT and invalid areas ------------------------------------------------------------------
std::map<HWND, int> paints;
bool validateInPaint = true;

LRESULT CALLBACK countingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        ++paints[hwnd];
        if (validateInPaint) {
            PAINTSTRUCT ps;
            if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Handles what is waiting, never more than a bounded number of messages.
int pump() {
    MSG m;
    int n = 0;
    while (n < 100 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&m);
        ++n;
    }
    return n;
}

ATOM registerClass(const char16_t* name, WNDPROC proc, HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    wc.hbrBackground = background;
    return RegisterClassExW(&wc);
}

// What a test of the paint counter changes, undone however the test ends (a failed assertion
// included), so that the next test, in any order, starts from the same state: the counter
// validates, counts nothing, and no window or class of the test is left.
class PaintState {
public:
    PaintState() { reset(); }
    ~PaintState() {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
        for (const char16_t* name : classes_) UnregisterClassW(name, nullptr);
        reset();
    }
    PaintState(const PaintState&) = delete;
    PaintState& operator=(const PaintState&) = delete;

    ATOM addClass(const char16_t* name, WNDPROC proc, HBRUSH background) {
        ATOM atom = registerClass(name, proc, background);
        if (atom) classes_.push_back(name);
        return atom;
    }
    HWND addWindow(HWND hwnd) {
        if (hwnd) windows_.push_back(hwnd);
        return hwnd;
    }

private:
    static void reset() {
        paints.clear();
        validateInPaint = true;
    }
    std::vector<HWND> windows_;
    std::vector<const char16_t*> classes_;
};

class Painting : public ::testing::Test {
protected:
    Machine machine;
    PaintState state;
    HWND top = nullptr;
    HWND child = nullptr;
    void SetUp() override {
        ASSERT_NE(state.addClass(u"PaintCounter", countingProc, nullptr), 0);
        top = state.addWindow(CreateWindowExW(0, u"PaintCounter", u"top", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 60, 40,
                                              nullptr, nullptr, nullptr, nullptr));
        child = CreateWindowExW(0, u"PaintCounter", u"", WS_CHILD | WS_VISIBLE, 5, 5, 10, 10, top, nullptr, nullptr, nullptr);
        ASSERT_TRUE(top && child);
        pump();
        paints.clear();
    }
};

TEST_F(Painting, OneWmPaintPerInvalidationAndNoneWhenValid) {
    struct Step {
        const char* what;
        std::function<void(HWND, HWND)> act;
        int topPaints, childPaints;
    };
    const RECT farCorner{40, 30, 50, 38}, overChild{0, 0, 8, 8};
    const Step steps[] = {
        {"nothing invalid", [](HWND, HWND) {}, 0, 0},
        {"invalidated twice", [](HWND t, HWND) { InvalidateRect(t, nullptr, TRUE); InvalidateRect(t, nullptr, FALSE); }, 1, 1},
        {"a part away from the child", [&](HWND t, HWND) { InvalidateRect(t, &farCorner, TRUE); }, 1, 0},
        {"a part over the child", [&](HWND t, HWND) { InvalidateRect(t, &overChild, TRUE); }, 1, 1},
        {"the child alone", [](HWND, HWND c) { InvalidateRect(c, nullptr, TRUE); }, 0, 1},
        {"invalidated then validated", [](HWND t, HWND c) {
             InvalidateRect(t, nullptr, TRUE);
             ValidateRect(t, nullptr);
             ValidateRect(c, nullptr);
         }, 0, 0},
        {"updated at once", [&](HWND t, HWND) {
             InvalidateRect(t, &farCorner, TRUE);
             UpdateWindow(t);
             UpdateWindow(t);
         }, 1, 0},
        {"redrawn with all children, now", [](HWND t, HWND) {
             RedrawWindow(t, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
         }, 1, 1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        paints.clear();
        s.act(top, child);
        pump();
        EXPECT_EQ(paints[top], s.topPaints);
        EXPECT_EQ(paints[child], s.childPaints);
        paints.clear();
        pump();
        EXPECT_EQ(paints[top] + paints[child], 0) << "nothing is left invalid";
    }
}

TEST_F(Painting, AWindowThatNeverValidatesGetsOnePaintPerInvalidation) {
    validateInPaint = false;
    InvalidateRect(top, nullptr, TRUE);
    pump();
    pump();
    EXPECT_EQ(paints[top], 1);
    RECT r{};
    EXPECT_TRUE(GetUpdateRect(top, &r, FALSE)) << "the area stays invalid";
    EXPECT_EQ(r.right, 60);
    InvalidateRect(top, nullptr, TRUE);
    pump();
    EXPECT_EQ(paints[top], 2);
}

TEST_F(Painting, BeginPaintTellsTheInvalidAreaAndTakesItAway) {
    const RECT part{10, 12, 20, 22};
    InvalidateRect(top, &part, FALSE);
    RECT update{};
    ASSERT_TRUE(GetUpdateRect(top, &update, FALSE));
    EXPECT_EQ(update.left, 10);
    EXPECT_EQ(update.bottom, 22);
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(top, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ps.hdc, dc);
    EXPECT_EQ(ps.rcPaint.left, 10);
    EXPECT_EQ(ps.rcPaint.right, 20);
    EXPECT_FALSE(GetUpdateRect(top, &update, FALSE));
    EXPECT_TRUE(EndPaint(top, &ps));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(InvalidateRect(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), nullptr, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

// ---- Pixels: the erase brush and window DCs ------------------------------------------------------
constexpr COLORREF kGreen = RGB(10, 200, 30), kRed = RGB(220, 0, 0), kBlue = RGB(0, 0, 230);
constexpr uint32_t rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A child that draws through GetDC when painted: all red as far as it may, a blue dot at its corner.
LRESULT CALLBACK dcDrawingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_PAINT) return DefWindowProcW(hwnd, msg, wParam, lParam);
    PAINTSTRUCT ps;
    if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
    HDC dc = GetDC(hwnd);
    if (!dc) return 0;
    HBRUSH red = CreateSolidBrush(kRed), blue = CreateSolidBrush(kBlue);
    const RECT everything{-100, -100, 500, 500}, corner{0, 0, 1, 1};
    FillRect(dc, &everything, red);
    FillRect(dc, &corner, blue);
    ReleaseDC(hwnd, dc);
    DeleteObject(red);
    DeleteObject(blue);
    return 0;
}

TEST(PaintPixels, TheEraseBrushFillsAndWindowDcsLandInPlaceClipped) {
    Machine machine;
    HBRUSH green = CreateSolidBrush(kGreen);
    std::unique_ptr<void, decltype(&DeleteObject)> ownedGreen(green, &DeleteObject);
    PaintState state;  // the top window validates what it is asked to paint
    ASSERT_NE(state.addClass(u"Erased", countingProc, green), 0);
    ASSERT_NE(state.addClass(u"DcDrawing", dcDrawingProc, nullptr), 0);
    HWND top = state.addWindow(
        CreateWindowExW(0, u"Erased", u"", WS_POPUP | WS_VISIBLE, 100, 50, 50, 40, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(top, nullptr);
    // One child inside, one hanging over the right and bottom edges, one hidden.
    struct Child {
        RECT rect;
        bool visible;
    };
    const Child children[] = {{{5, 5, 15, 12}, true}, {{40, 30, 70, 60}, true}, {{20, 5, 30, 15}, false}};
    for (const Child& c : children)
        ASSERT_NE(CreateWindowExW(0, u"DcDrawing", u"", WS_CHILD | (c.visible ? WS_VISIBLE : 0), c.rect.left, c.rect.top,
                                  c.rect.right - c.rect.left, c.rect.bottom - c.rect.top, top, nullptr, nullptr, nullptr),
                  nullptr);
    auto picture = dlg::windowPicture(top);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width, 50);
    ASSERT_EQ(picture->height, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            uint32_t expected = rgb(kGreen);
            for (const Child& c : children)
                if (c.visible && x >= c.rect.left && x < c.rect.right && y >= c.rect.top && y < c.rect.bottom)
                    expected = x == c.rect.left && y == c.rect.top ? rgb(kBlue) : rgb(kRed);
            ASSERT_EQ(picture->at(x, y), expected) << x << "," << y;
        }
    EXPECT_FALSE(dlg::windowPicture(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777))));
}

TEST(PaintPixels, FillFrameAndTextCalls) {
    Machine machine;
    HDC screen = CreateCompatibleDC(nullptr);
    ASSERT_NE(screen, nullptr);
    HFONT font = CreateFontW(-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"Tahoma");
    HGDIOBJ old = SelectObject(screen, font);
    RECT one{0, 0, 1000, 0};
    const int h = DrawTextW(screen, u"Scan", -1, &one, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_GT(h, 8);
    EXPECT_EQ(one.bottom, h);
    EXPECT_GT(one.right, 10);
    RECT wrapped{0, 0, one.right + 2, 0};
    const std::u16string words = u"Scan Scan Scan";
    DrawTextW(screen, words.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(wrapped.bottom, 3 * h) << "one word a line";
    RECT prefixed{0, 0, 1000, 0};
    DrawTextW(screen, u"&Scan", -1, &prefixed, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefixed.right, one.right) << "the mnemonic mark takes no room";
    SelectObject(screen, old);
    DeleteObject(font);
    DeleteDC(screen);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_NE(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), GetSysColorBrush(COLOR_BTNFACE));
}

// ---- A dialog from a resource module -------------------------------------------------------------
constexpr UINT kDialog = 300;
constexpr int kEdit = 1, kCheck = 2, kStatic = 3, kPush = 4, kDrawn = 5, kRadio = 6, kProgress = 7;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;
constexpr COLORREF kMagenta = RGB(250, 0, 250), kYellow = RGB(255, 255, 0);

HMODULE loadModule(const Machine& machine) {
    res::DialogTemplate d;
    d.title = u"Paint";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    d.cx = 200;
    d.cy = 120;
    d.controls = {
        {u"EDIT", u"", kEdit, kVis | WS_BORDER | WS_TABSTOP, 0, 10, 10, 100, 12},
        {u"BUTTON", u"Duplex", kCheck, kVis | BS_AUTOCHECKBOX | WS_TABSTOP, 0, 10, 30, 80, 10},
        {u"STATIC", u"Ready", kStatic, kVis, 0, 10, 45, 80, 10},
        {u"BUTTON", u"OK", kPush, kVis | BS_PUSHBUTTON | WS_TABSTOP, 0, 120, 95, 50, 14},
        {u"BUTTON", u"", kDrawn, kVis | BS_OWNERDRAW, 0, 10, 95, 40, 14},
        {u"BUTTON", u"Mono", kRadio, kVis | BS_AUTORADIOBUTTON, 0, 10, 60, 80, 10},
        {u"msctls_progress32", u"", kProgress, kVis, 0, 10, 78, 100, 8},
    };
    res::ResourceFile f;
    f.dialogs[kDialog] = d;
    return resources_test::loadResources(machine, rescomp::writeResourceFile(f));
}

struct DialogSeen {
    std::vector<UINT> drawActions;
    HBRUSH yellow = nullptr;
    HBRUSH magenta = nullptr;
} dialogSeen;

INT_PTR CALLBACK paintDialogProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        dialogSeen.drawActions.push_back(dis->itemAction);
        FillRect(dis->hDC, &dis->rcItem, dialogSeen.magenta);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != kStatic) return FALSE;
        SetTextColor(reinterpret_cast<HDC>(wParam), kRed);
        return reinterpret_cast<INT_PTR>(dialogSeen.yellow);
    default: return FALSE;
    }
}

bool dark(uint32_t p) { return ((p >> 16) & 0xFF) < 0x70 && ((p >> 8) & 0xFF) < 0x70 && (p & 0xFF) < 0x70; }

class PaintedDialog : public ::testing::Test {
protected:
    Machine machine;
    HMODULE module = nullptr;
    HWND dialog = nullptr;
    void SetUp() override {
        dialogSeen = DialogSeen{};
        dialogSeen.yellow = CreateSolidBrush(kYellow);
        dialogSeen.magenta = CreateSolidBrush(kMagenta);
        module = loadModule(machine);
        ASSERT_NE(module, nullptr) << GetLastError();
        dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(kDialog), nullptr, paintDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << GetLastError();
        pump();
    }
    void TearDown() override {
        if (dialog) DestroyWindow(dialog);
        if (module) FreeLibrary(module);
        DeleteObject(dialogSeen.yellow);
        DeleteObject(dialogSeen.magenta);
    }
    // A control's rectangle in the dialog's picture.
    RECT placeOf(int id) const {
        RECT d{}, c{};
        GetWindowRect(dialog, &d);
        GetWindowRect(GetDlgItem(dialog, id), &c);
        return RECT{c.left - d.left, c.top - d.top, c.right - d.left, c.bottom - d.top};
    }
    dlg::Picture picture() const {
        auto p = dlg::windowPicture(dialog);
        EXPECT_TRUE(p);
        return p ? *p : dlg::Picture{};
    }
    static int count(const dlg::Picture& p, RECT r, const std::function<bool(uint32_t)>& test) {
        int n = 0;
        for (LONG y = std::max<LONG>(0, r.top); y < std::min<LONG>(p.height, r.bottom); ++y)
            for (LONG x = std::max<LONG>(0, r.left); x < std::min<LONG>(p.width, r.right); ++x) n += test(p.at(x, y));
        return n;
    }
    static std::vector<uint32_t> crop(const dlg::Picture& p, RECT r) {
        std::vector<uint32_t> out;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) out.push_back(p.at(x, y));
        return out;
    }
};

TEST_F(PaintedDialog, TextIsInkedWhereEachControlIs) {
    SetDlgItemTextW(dialog, kEdit, u"Scan to folder");
    const dlg::Picture p = picture();
    RECT whole{};
    GetClientRect(dialog, &whole);
    ASSERT_EQ(p.width, whole.right);
    ASSERT_EQ(p.height, whole.bottom);
    const uint32_t face = rgb(GetSysColor(COLOR_BTNFACE));
    // Each control with text has ink inside it, and the dialog's own background around is plain face.
    std::vector<RECT> places;
    for (int id : {kEdit, kCheck, kStatic, kPush, kDrawn, kRadio, kProgress}) places.push_back(placeOf(id));
    for (int id : {kEdit, kCheck, kPush, kRadio}) {
        SCOPED_TRACE(id);
        EXPECT_GT(count(p, placeOf(id), dark), 15);
    }
    int strays = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            bool inside = false;
            for (const RECT& r : places) inside = inside || (x >= r.left && x < r.right && y >= r.top && y < r.bottom);
            if (!inside) strays += p.at(x, y) != face;
        }
    EXPECT_EQ(strays, 0);
    // The static text: the parent's WM_CTLCOLORSTATIC brush behind it and its text colour for the ink.
    const RECT text = placeOf(kStatic);
    EXPECT_GT(count(p, text, [](uint32_t c) { return c == rgb(kYellow); }), (text.right - text.left) * (text.bottom - text.top) / 2);
    EXPECT_GT(count(p, text, [](uint32_t c) { return c == rgb(kRed); }), 10);
    EXPECT_EQ(count(p, text, dark), 0);
    // An empty edit shows nothing inside its frame.
    SetDlgItemTextW(dialog, kEdit, u"");
    const RECT edit = placeOf(kEdit);
    EXPECT_EQ(count(picture(), RECT{edit.left + 2, edit.top + 2, edit.right - 2, edit.bottom - 2}, dark), 0);
}

TEST_F(PaintedDialog, PasswordEditsShowTheirCharactersNotTheText) {
    SetDlgItemTextW(dialog, kEdit, u"iiii");
    const auto plain = crop(picture(), placeOf(kEdit));
    SendDlgItemMessageW(dialog, kEdit, EM_SETPASSWORDCHAR, u'*', 0);
    SetWindowLongW(GetDlgItem(dialog, kEdit), GWL_STYLE, GetWindowLongW(GetDlgItem(dialog, kEdit), GWL_STYLE) | ES_PASSWORD);
    EXPECT_NE(crop(picture(), placeOf(kEdit)), plain);
}

TEST_F(PaintedDialog, TheCheckMarkShowsOnlyWhenChecked) {
    for (int id : {kCheck, kRadio}) {
        SCOPED_TRACE(id);
        const RECT c = placeOf(id);
        // The box (or circle) is the 13 pixels at the left, centred; its inside is what the mark uses.
        const LONG top = c.top + (c.bottom - c.top - 13) / 2;
        const RECT inside{c.left + 3, top + 3, c.left + 10, top + 10};
        struct Case {
            UINT check;
            bool marked;
        };
        for (const Case& k : {Case{BST_UNCHECKED, false}, Case{BST_CHECKED, true}, Case{BST_UNCHECKED, false}}) {
            CheckDlgButton(dialog, id, k.check);
            const int ink = count(picture(), inside, dark);
            if (k.marked) EXPECT_GT(ink, 6);
            else EXPECT_EQ(ink, 0);
        }
    }
}

TEST_F(PaintedDialog, PressedAndDisabledButtonsLookDifferent) {
    HWND ok = GetDlgItem(dialog, kPush);
    const RECT r = placeOf(kPush);
    const auto normal = crop(picture(), r);
    SendMessageW(ok, BM_SETSTATE, TRUE, 0);
    const auto pressed = crop(picture(), r);
    SendMessageW(ok, BM_SETSTATE, FALSE, 0);
    EXPECT_EQ(crop(picture(), r), normal) << "released looks normal again";
    EnableWindow(ok, FALSE);
    const auto disabled = crop(picture(), r);
    EXPECT_NE(pressed, normal);
    EXPECT_NE(disabled, normal);
    EXPECT_NE(disabled, pressed);
    const auto p = picture();
    EXPECT_EQ(count(p, RECT{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2}, [](uint32_t c) { return c == 0; }), 0)
        << "a disabled button's text is grey";
}

TEST_F(PaintedDialog, ProgressFillsItsPart) {
    const RECT r = placeOf(kProgress);
    const uint32_t highlight = rgb(GetSysColor(COLOR_HIGHLIGHT));
    const RECT inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    const int all = (inner.right - inner.left) * (inner.bottom - inner.top);
    for (int pos : {0, 50, 100}) {
        SendDlgItemMessageW(dialog, kProgress, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
        const int filled = count(picture(), inner, [&](uint32_t c) { return c == highlight; });
        EXPECT_NEAR(filled, all * pos / 100, inner.bottom - inner.top) << pos;
    }
}

TEST_F(PaintedDialog, OwnerDrawnButtonsGetWmDrawItemAndTheirDrawingShows) {
    dialogSeen.drawActions.clear();
    const dlg::Picture p = picture();
    ASSERT_FALSE(dialogSeen.drawActions.empty());
    EXPECT_EQ(dialogSeen.drawActions.back(), static_cast<UINT>(ODA_DRAWENTIRE));
    const RECT r = placeOf(kDrawn);
    const int area = (r.right - r.left) * (r.bottom - r.top);
    EXPECT_EQ(count(p, r, [](uint32_t c) { return c == rgb(kMagenta); }), area);
    EXPECT_EQ(count(p, RECT{0, 0, p.width, p.height}, [](uint32_t c) { return c == rgb(kMagenta); }), area)
        << "nothing drawn outside the button";
}

// ---- PNG files -----------------------------------------------------------------------------------
TEST(PaintPng, WrittenPicturesReadBackTheSame) {
    Machine machine;
    dlg::Picture picture;
    picture.width = 7;
    picture.height = 5;
    for (int i = 0; i < picture.width * picture.height; ++i)
        picture.pixels.push_back(static_cast<uint32_t>(i * 0x0A1B2C) & 0xFFFFFF);
    const std::filesystem::path path = machine.root() / "picture.png";
    ASSERT_TRUE(dlg::writePng(picture, path.string()));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.string().c_str()));
    image.format = PNG_FORMAT_RGB;
    ASSERT_EQ(image.width, 7u);
    ASSERT_EQ(image.height, 5u);
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr));
    for (int i = 0; i < picture.width * picture.height; ++i) {
        const uint32_t back = (bytes[i * 3] << 16) | (bytes[i * 3 + 1] << 8) | bytes[i * 3 + 2];
        ASSERT_EQ(back, picture.pixels[static_cast<size_t>(i)]) << i;
    }

    const dlg::Picture empty;
    EXPECT_FALSE(dlg::writePng(empty, (machine.root() / "empty.png").string()));
    EXPECT_FALSE(dlg::writePng(picture, (machine.root() / "no" / "such" / "folder.png").string()));
}

}  // namespace
