// Dialogs: creation from the templates of resource modules, the dialog class's procedure, the modal
// loop, the dialog keys, message boxes, and the scripting calls of platform/dialogs.h with the
// watchdog that ends modal dialogs nobody scripts.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/dialogs.h"
#include "platform/resources.h"
#include "../internal.h"
#include "state.h"
#include "win/kernel.h"

namespace platform::user {
namespace {

namespace res = platform::resources;

constexpr UINT_PTR kWatchdogTimer = 0x57444F47;
constexpr UINT_PTR kAnswerTimer = 0x414E5357;
constexpr UINT kAnswerPollMs = 20;
const std::filesystem::path kDismissed = std::filesystem::path("dialogs") / "dismissed";
const std::filesystem::path kAnswers = std::filesystem::path("dialogs") / "answers";
const std::filesystem::path kAnswered = std::filesystem::path("dialogs") / "answered";
constexpr int kBaseX = 8;
constexpr int kBaseY = 16;

struct DialogInfo {
    UINT templateId = 0;
    bool modal = false;
    bool ended = false;
    // Set after `ended` for the modal loop, which looks at it whenever its thread wakes (copies share it).
    std::shared_ptr<std::atomic<bool>> endSignal = std::make_shared<std::atomic<bool>>(false);
    INT_PTR result = 0;
    int defId = 0;
    bool messageBox = false;
    UINT mbType = 0;
    std::u16string mbText;
    uint64_t serial = 0;
    int baseX = kBaseX, baseY = kBaseY;  // the template font's average character width and height
    bool ready = false;  // made, shown and (modal) its owner disabled: scripts may find it
};

struct Dialogs {
    std::mutex mutex;
    std::map<HWND, DialogInfo> info;
    uint64_t nextSerial = 1;
    std::function<void(const platform::dialogs::UnscriptedDialog&)> handler;
    DWORD watchdogMs = 1000;
};
Dialogs& dialogs() {
    static Dialogs* d = new Dialogs;
    return *d;
}
std::atomic<int> scripts{0};
// Machine time at which the last script ended: the watchdog waits its full while from then on, so a
// script's last action (a close it posted) is handled before the watchdog may end the dialog.
std::atomic<ULONGLONG> lastScriptEnd{0};

// What the next dialog made on this thread is: its WM_NCCREATE takes it.
struct Pending {
    DLGPROC proc = nullptr;
    DialogInfo info;
};
thread_local Pending* pending = nullptr;

// Dialog units to pixels, rounded as MulDiv rounds.
int scale(int units, int base, int per) {
    const long long n = static_cast<long long>(units) * base;
    return static_cast<int>(n >= 0 ? (n + per / 2) / per : -((-n + per / 2) / per));
}

struct BaseUnits {
    int x = kBaseX, y = kBaseY;
};

// The base units of a template's font: the average width of the Latin letters and the font's
// height, as the font engine measures them at 96 dpi; 8 x 16 when it cannot.
BaseUnits baseUnitsFor(const std::u16string& face, uint16_t points) {
    static std::mutex mutex;
    static auto* cache = new std::map<std::pair<std::u16string, uint16_t>, BaseUnits>;
    const auto key = std::make_pair(face.empty() ? std::u16string(u"MS Shell Dlg") : face, points ? points : uint16_t(8));
    {
        std::lock_guard lock(mutex);
        if (auto it = cache->find(key); it != cache->end()) return it->second;
    }
    BaseUnits base;
    const DWORD error = GetLastError();
    if (HDC dc = CreateCompatibleDC(nullptr)) {
        LOGFONTW lf{};
        lf.lfHeight = -((key.second * 96 + 36) / 72);
        lf.lfWeight = 400;
        const size_t n = std::min<size_t>(key.first.size(), 31);
        std::memcpy(lf.lfFaceName, key.first.data(), n * sizeof(WCHAR));
        if (HFONT font = CreateFontIndirectW(&lf)) {
            HGDIOBJ old = SelectObject(dc, font);
            static const char16_t letters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
            TEXTMETRICW tm{};
            SIZE size{};
            if (GetTextMetricsW(dc, &tm) && GetTextExtentPoint32W(dc, letters, 52, &size) && size.cx > 0 && tm.tmHeight > 0) {
                base.x = std::max<int>(1, (size.cx / 26 + 1) / 2);
                base.y = static_cast<int>(tm.tmHeight);
            }
            SelectObject(dc, old);
            DeleteObject(font);
        }
        DeleteDC(dc);
    }
    SetLastError(error);
    std::lock_guard lock(mutex);
    (*cache)[key] = base;
    return base;
}

std::optional<DialogInfo> infoOf(HWND hwnd) {
    std::lock_guard lock(dialogs().mutex);
    auto it = dialogs().info.find(hwnd);
    if (it == dialogs().info.end()) return std::nullopt;
    return it->second;
}

DWORD styleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

std::u16string classOf(HWND hwnd) {
    WCHAR name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

bool isPushButton(HWND hwnd) {
    if (!equalsNoCase(classOf(hwnd), u"BUTTON")) return false;
    const DWORD type = styleOf(hwnd) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

std::vector<HWND> childrenOf(HWND dialog) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

bool canTakeFocus(HWND hwnd) {
    const DWORD style = styleOf(hwnd);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

std::u16string textOf(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    return w ? w->text : std::u16string();
}

void pressDefault(HWND dialog) {
    HWND focus = GetFocus();
    int id = IDOK;
    HWND button = nullptr;
    if (focus && IsChild(dialog, focus) && isPushButton(focus)) {
        button = focus;
        id = GetDlgCtrlID(focus);
    } else {
        const LRESULT r = SendMessageW(dialog, DM_GETDEFID, 0, 0);
        if (HIWORD(r) == DC_HASDEFID) id = LOWORD(r);
        button = GetDlgItem(dialog, id);
    }
    if (button && !IsWindowEnabled(button)) return;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void moveFocus(HWND dialog, bool previous) {
    HWND focus = GetFocus();
    if (focus && !IsChild(dialog, focus)) focus = nullptr;
    HWND next = GetNextDlgTabItem(dialog, focus, previous);
    if (!next) return;
    SetFocus(next);
    if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
}

bool handleKey(HWND dialog, MSG* msg, bool shift) {
    const LRESULT code = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
    if (code & DLGC_WANTALLKEYS) return false;
    switch (msg->wParam) {
    case VK_TAB:
        if (code & DLGC_WANTTAB) return false;
        moveFocus(dialog, shift);
        return true;
    case VK_RETURN: pressDefault(dialog); return true;
    case VK_ESCAPE: {
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel)) return true;
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return true;
    }
    default: return false;
    }
}

thread_local bool shiftHeld = false;

// A key as a keyboard gives it on the dialog's thread: WM_KEYDOWN for the focus, offered to the message
// filters, then to the dialog, else translated and dispatched; the WM_CHAR that made the same way; then
// WM_KEYUP. Returns whether a filter or the dialog took the key down.
bool keyOnThread(HWND dialog, UINT key, bool shift) {
    auto info = infoOf(dialog);
    if (!info || info->ended || !IsWindow(dialog)) return false;
    auto target = [&] {
        HWND focus = GetFocus();
        return focus && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
    };
    auto offer = [&](MSG& m) {
        if (CallMsgFilterW(&m, MSGF_DIALOGBOX)) return true;
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &m)) return true;
        TranslateMessage(&m);
        DispatchMessageW(&m);
        return false;
    };
    POINT cursor{};
    GetCursorPos(&cursor);
    shiftHeld = shift;
    MSG down{target(), WM_KEYDOWN, key, 1, GetTickCount(), cursor};
    const bool taken = offer(down);
    // TranslateMessage put the character first in the queue.
    MSG ch{};
    if (PeekMessageW(&ch, nullptr, WM_CHAR, WM_CHAR, PM_NOREMOVE) && ch.hwnd == down.hwnd && ch.lParam == down.lParam &&
        PeekMessageW(&ch, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE))
        offer(ch);
    MSG up{target(), WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u), GetTickCount(), cursor};
    if (IsWindow(up.hwnd)) offer(up);
    shiftHeld = false;
    return taken;
}

}  // namespace

bool timerMovesClock(const Timer& timer) { return timer.id != kWatchdogTimer || scripts.load() == 0; }

namespace {

void watchdogFired(HWND dialog) {
    if (scripts.load() > 0) return;  // someone is scripting: the timer comes again
    std::function<void(const platform::dialogs::UnscriptedDialog&)> handler;
    platform::dialogs::UnscriptedDialog report;
    {
        std::lock_guard lock(dialogs().mutex);
        // A test's watchdog counts its while from the end of the last script (the timer comes again).
        if (dialogs().handler && GetTickCount64() - lastScriptEnd.load() < dialogs().watchdogMs) return;
        auto it = dialogs().info.find(dialog);
        if (it == dialogs().info.end() || it->second.ended) return;
        handler = dialogs().handler;
        report.templateId = it->second.templateId;
        report.messageBox = it->second.messageBox;
        report.text = it->second.mbText;
    }
    KillTimer(dialog, kWatchdogTimer);
    report.hwnd = dialog;
    report.title = textOf(dialog);
    if (handler) {
        handler(report);
    } else {
        // Nobody in this process watches: the machine journals the dialog it ends.
        platform::detail::appendJournal(kDismissed, {platform::fromUtf8(std::to_string(GetCurrentProcessId())),
                                                     platform::programPath(), report.title,
                                                     platform::fromUtf8(std::to_string(report.templateId)),
                                                     report.messageBox ? u"1" : u"0", report.text});
    }
    EndDialog(dialog, IDCANCEL);
}

// ---- A person's answers queued in the machine ------------------------------------------------------
// The head of "dialogs/answers" is taken by the first dialog of the machine it fits; the answers after
// it wait their turn, so a run goes as the person would have clicked.

std::filesystem::path answersLock() {
    std::filesystem::path lock = platform::machineRoot() / kAnswers;
    lock += ".lock";
    return lock;
}

// The window of this thread that the answer fits (the dialog, or the message box), or none.
HWND answerTarget(const platform::DialogAnswer& a) {
    std::vector<std::pair<HWND, DialogInfo>> candidates;
    {
        std::lock_guard lock(dialogs().mutex);
        for (const auto& [hwnd, info] : dialogs().info)
            if (info.ready && !info.ended) candidates.emplace_back(hwnd, info);
    }
    HWND best = nullptr;
    uint64_t bestSerial = 0;
    for (const auto& [hwnd, info] : candidates) {
        if (!IsWindow(hwnd) || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) continue;
        // Shown and open to input: a dialog under a modal box of its own has its root disabled.
        if (!IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd) || !IsWindowEnabled(GetAncestor(hwnd, GA_ROOT))) continue;
        if (a.kind == platform::DialogAnswer::Box) {
            if (!info.messageBox || info.serial < bestSerial) continue;
        } else {
            if (info.messageBox || info.templateId != a.templateId) continue;
            HWND control = GetDlgItem(hwnd, a.controlId);
            if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) continue;
        }
        best = hwnd;
        bestSerial = info.serial;
    }
    return best;
}

// Carries an answer out on the target's thread: posted as the person's input would be.
void carryOut(HWND target, const platform::DialogAnswer& a) {
    if (a.kind == platform::DialogAnswer::Box) {
        EndDialog(target, a.button);
        return;
    }
    HWND control = GetDlgItem(target, a.controlId);
    if (a.kind == platform::DialogAnswer::Press) {
        PostMessageW(control, BM_CLICK, 0, 0);
        return;
    }
    SendMessageW(control, LVM_ENSUREVISIBLE, static_cast<WPARAM>(a.row), FALSE);
    ListPlace place;
    place.index = a.row;
    if (!SendMessageW(control, kScriptListPlace, 0, reinterpret_cast<LPARAM>(&place))) return;
    const LPARAM at = MAKELPARAM((place.rect.left + place.rect.right) / 2, (place.rect.top + place.rect.bottom) / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
}

// One look at the queue: takes the head when one of this thread's dialogs fits it. False when the
// queue is empty (the loop stops looking).
bool takeQueuedAnswer() {
    std::error_code ec;
    std::filesystem::create_directories((platform::machineRoot() / kAnswers).parent_path(), ec);
    HWND target = nullptr;
    std::u16string line;
    platform::DialogAnswer answer;
    {
        platform::detail::MachineLock lock(answersLock(), true);
        const std::filesystem::path file = platform::machineRoot() / kAnswers;
        std::string text = platform::detail::readHostFile(file);
        if (text.empty()) return false;
        const size_t end = text.find('\n');
        const std::string head = text.substr(0, end);
        auto parsed = platform::parseDialogAnswer(head);
        if (parsed) {
            target = answerTarget(*parsed);
            if (!target) return true;  // its dialog is not up yet
            answer = *parsed;
        }
        // Taken: a malformed line too, journalled as such, so it cannot hold the queue for ever.
        platform::detail::writeHostFile(file, end == std::string::npos ? std::string() : text.substr(end + 1));
        line = platform::fromUtf8(head);
    }
    const std::u16string title = target ? textOf(target) : std::u16string();
    std::u16string boxText;
    if (target) {
        std::lock_guard lock(dialogs().mutex);
        auto it = dialogs().info.find(target);
        if (it != dialogs().info.end()) boxText = it->second.mbText;
    }
    platform::detail::appendJournal(kAnswered, {platform::fromUtf8(std::to_string(GetCurrentProcessId())),
                                                platform::programPath(), line, title, target ? u"1" : u"0", boxText});
    if (target) carryOut(target, answer);
    return true;
}

void answerTimerFired(HWND dialog) {
    if (!takeQueuedAnswer()) KillTimer(dialog, kAnswerTimer);
}

bool returnsDirectly(UINT msg) {
    return msg == WM_INITDIALOG || (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) || msg == 0x0039 /* WM_COMPAREITEM */ ||
           msg == 0x002E /* WM_VKEYTOITEM */ || msg == 0x002F /* WM_CHARTOITEM */ || msg == WM_QUERYDRAGICON;
}

void markReady(HWND dialog) {
    std::lock_guard lock(dialogs().mutex);
    auto it = dialogs().info.find(dialog);
    if (it != dialogs().info.end()) it->second.ready = true;
}

// Makes a dialog from a template: the dialog window, its controls, WM_INITDIALOG. Shown when the
// template says WS_VISIBLE or the dialog is modal.
HWND createDialog(const res::DialogTemplate& t, HINSTANCE module, HWND owner, DLGPROC proc, LPARAM param, DialogInfo info) {
    ensureBuiltinClasses();
    const BaseUnits base = baseUnitsFor(t.fontFace, t.pointSize);
    info.baseX = base.x;
    info.baseY = base.y;
    auto px = [&](int v) { return scale(v, base.x, 4); };
    auto py = [&](int v) { return scale(v, base.y, 8); };
    Pending p{proc, std::move(info)};
    {
        std::lock_guard lock(dialogs().mutex);
        p.info.serial = dialogs().nextSerial++;
    }
    const bool modal = p.info.modal;
    const DWORD style = t.style & ~static_cast<DWORD>(WS_VISIBLE);
    pending = &p;
    // A template may name a class of the program's own (a copy of the dialog class) to be found by.
    const LPCWSTR cls = t.className.empty() ? WC_DIALOG : t.className.c_str();
    HWND dialog = CreateWindowExW(t.exStyle, cls, t.title.c_str(), style, px(t.x), py(t.y), px(t.cx), py(t.cy), owner, nullptr, module, nullptr);
    pending = nullptr;
    if (!dialog) return nullptr;
    for (const auto& c : t.controls) {
        HWND control = CreateWindowExW(c.exStyle, c.className.c_str(), c.text.c_str(), c.style | WS_CHILD,
                                       px(c.x), py(c.y), px(c.cx), py(c.cy), dialog,
                                       reinterpret_cast<HMENU>(static_cast<intptr_t>(c.id)), module, nullptr);
        if (!control) {
            const DWORD error = GetLastError();
            DestroyWindow(dialog);
            SetLastError(error ? error : ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
    }
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    const LRESULT focusIt = SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dialog)) return nullptr;
    if (focusIt && first) SetFocus(first);
    if ((t.style & WS_VISIBLE) || modal) ShowWindow(dialog, SW_SHOW);
    if (!modal) markReady(dialog);
    return dialog;
}

INT_PTR runModal(HWND dialog, HWND owner) {
    HWND root = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    const bool reenable = root && IsWindowEnabled(root);
    if (reenable) EnableWindow(root, FALSE);
    {
        // A test's watchdog, else the machine's for whole-program runs.
        std::unique_lock lock(dialogs().mutex);
        DWORD ms = dialogs().handler ? dialogs().watchdogMs : 0;
        lock.unlock();
        if (!ms) {
            // The machine's, unless the dialog's template is one it keeps.
            const auto info = infoOf(dialog);
            const std::vector<UINT> kept = info && info->templateId ? platform::keptFromDismissal() : std::vector<UINT>();
            const bool keep = std::find(kept.begin(), kept.end(), info ? info->templateId : 0) != kept.end();
            if (!keep) ms = platform::machineSettings().dismissDialogsAfter;
        }
        if (ms) SetTimer(dialog, kWatchdogTimer, ms, nullptr);
    }
    markReady(dialog);
    // A person's answers queued in the machine are looked at while this loop runs.
    if (platform::detail::readHostFile(platform::machineRoot() / kAnswers).size())
        SetTimer(dialog, kAnswerTimer, kAnswerPollMs, nullptr);
    bool quit = false;
    WPARAM quitCode = 0;
    INT_PTR result = -1;
    for (;;) {
        auto info = infoOf(dialog);
        if (!info || !IsWindow(dialog)) break;
        if (info->ended) {
            result = info->result;
            break;
        }
        MSG msg{};
        const int got = takeModalMessage(&msg, *info->endSignal);
        if (got == -1) continue;  // ended: the check above takes the result
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (CallMsgFilterW(&msg, MSGF_DIALOGBOX)) continue;  // a hook handled it
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (reenable) EnableWindow(root, TRUE);
    if (IsWindow(dialog)) DestroyWindow(dialog);
    releaseMarkers();  // input waiting for this loop will not be handled by it
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return result;
}

std::optional<res::DialogTemplate> templateFor(HINSTANCE module, LPCWSTR name) {
    if (!name || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return std::nullopt;
    }
    if (!res::isResourceModule(module)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return std::nullopt;
    }
    auto t = res::findDialog(module, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
    if (!t) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return t;
}

// ---- Message boxes -------------------------------------------------------------------------------
struct BoxButton {
    int id;
    const char16_t* text;
};

std::vector<BoxButton> boxButtons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return {{IDOK, u"OK"}};
    case MB_OKCANCEL: return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, u"&Abort"}, {IDRETRY, u"&Retry"}, {IDIGNORE, u"&Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, u"&Yes"}, {IDNO, u"&No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO: return {{IDYES, u"&Yes"}, {IDNO, u"&No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, u"&Retry"}, {IDCANCEL, u"Cancel"}};
    default: return {};
    }
}

INT_PTR CALLBACK messageBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) {
        const LRESULT def = SendMessageW(hwnd, DM_GETDEFID, 0, 0);
        if (HWND b = GetDlgItem(hwnd, LOWORD(def))) SetFocus(b);
        return FALSE;
    }
    if (msg != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    if (GetDlgItem(hwnd, id)) {
        EndDialog(hwnd, id);
    } else if (id == IDCANCEL && GetDlgItem(hwnd, IDOK) && !GetDlgItem(hwnd, IDCANCEL) && !GetDlgItem(hwnd, IDNO)) {
        EndDialog(hwnd, IDOK);  // Escape in a box with only OK answers OK
    }
    return TRUE;
}

}  // namespace

bool isDialogWindow(HWND hwnd) { return infoOf(hwnd).has_value(); }

}  // namespace platform::user

using namespace platform::user;

LRESULT WINAPI DefDlgProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE:
        if (pending) {
            SetWindowLongPtrW(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(pending->proc));
            std::lock_guard lock(dialogs().mutex);
            dialogs().info[hwnd] = pending->info;
            pending = nullptr;
        } else {
            std::lock_guard lock(dialogs().mutex);
            dialogs().info[hwnd].serial = dialogs().nextSerial++;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case kScriptFocus: {
        HWND control = reinterpret_cast<HWND>(wParam);
        if (!IsChild(hwnd, control)) return FALSE;
        SetFocus(control);
        return TRUE;
    }
    case kScriptGetFocus: return reinterpret_cast<LRESULT>(GetFocus());
    case WM_TIMER:
        if (wParam == kWatchdogTimer) {
            watchdogFired(hwnd);
            return 0;
        }
        if (wParam == kAnswerTimer) {
            answerTimerFired(hwnd);
            return 0;
        }
        break;
    default: break;
    }
    if (msg != WM_NCDESTROY) {
        auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hwnd, DWLP_DLGPROC));
        if (proc) {
            const INT_PTR r = proc(hwnd, msg, wParam, lParam);
            if (r) return returnsDirectly(msg) ? r : GetWindowLongPtrW(hwnd, DWLP_MSGRESULT);
        }
    }
    switch (msg) {
    case WM_INITDIALOG: return 0;
    case WM_CLOSE: {
        HWND cancel = GetDlgItem(hwnd, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case DM_GETDEFID: {
        if (auto info = infoOf(hwnd); info && info->defId) return MAKELRESULT(info->defId, DC_HASDEFID);
        for (HWND c : childrenOf(hwnd))
            if (equalsNoCase(classOf(c), u"BUTTON") && (styleOf(c) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                return MAKELRESULT(GetDlgCtrlID(c), DC_HASDEFID);
        return 0;
    }
    case DM_SETDEFID: {
        std::lock_guard lock(dialogs().mutex);
        auto it = dialogs().info.find(hwnd);
        if (it == dialogs().info.end()) return FALSE;
        it->second.defId = static_cast<int>(wParam);
        return TRUE;
    }
    case WM_NCDESTROY: {
        {
            std::lock_guard lock(dialogs().mutex);
            dialogs().info.erase(hwnd);
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    default:
        if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) return 0;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND WINAPI CreateDialogParamW(HINSTANCE module, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
    auto t = templateFor(module, templateName);
    if (!t) return nullptr;
    DialogInfo info;
    info.templateId = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName));
    return createDialog(*t, module, parent, proc, param, std::move(info));
}

INT_PTR WINAPI DialogBoxParamW(HINSTANCE module, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param) {
    auto t = templateFor(module, templateName);
    if (!t) return -1;
    DialogInfo info;
    info.templateId = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName));
    info.modal = true;
    HWND dialog = createDialog(*t, module, parent, proc, param, std::move(info));
    if (!dialog) return -1;
    return runModal(dialog, parent);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    std::shared_ptr<std::atomic<bool>> signal;
    {
        std::lock_guard lock(dialogs().mutex);
        auto it = dialogs().info.find(dialog);
        if (it == dialogs().info.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        it->second.ended = true;
        it->second.result = result;
        signal = it->second.endSignal;
    }
    const DWORD tid = GetWindowThreadProcessId(dialog, nullptr);
    ShowWindow(dialog, SW_HIDE);
    // The modal loop sees the end as soon as its thread wakes: nothing is posted, so a queue that takes
    // no more messages cannot keep the dialog up.
    signal->store(true);
    wakeThread(tid);
    return TRUE;
}

BOOL WINAPI IsDialogMessageW(HWND dialog, LPMSG msg) {
    if (!msg || !dialog || !msg->hwnd || !IsWindow(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    if (msg->message == WM_KEYDOWN && handleKey(dialog, msg, shiftHeld)) return TRUE;
    if (msg->message == WM_CHAR && (msg->wParam == u'\t' || msg->wParam == u'\r' || msg->wParam == 0x1B)) {
        const LRESULT code = SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        const bool wanted = (code & DLGC_WANTALLKEYS) || (msg->wParam == u'\t' && (code & DLGC_WANTTAB));
        if (!wanted) return TRUE;  // the key did its dialog work as WM_KEYDOWN
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog) || (control && !IsChild(dialog, control))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto kids = childrenOf(dialog);
    if (previous) std::reverse(kids.begin(), kids.end());
    const auto at = std::find(kids.begin(), kids.end(), control);
    const size_t start = at == kids.end() ? kids.size() - 1 : static_cast<size_t>(at - kids.begin());
    for (size_t i = 1; i <= kids.size(); ++i) {
        HWND c = kids[(start + i) % kids.size()];
        if ((styleOf(c) & WS_TABSTOP) && canTakeFocus(c)) return c;
    }
    return nullptr;
}

HWND WINAPI GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog) || !control || !IsChild(dialog, control)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const auto kids = childrenOf(dialog);
    const size_t at = static_cast<size_t>(std::find(kids.begin(), kids.end(), control) - kids.begin());
    if (at >= kids.size()) return nullptr;
    size_t first = at;
    while (first > 0 && !(styleOf(kids[first]) & WS_GROUP)) --first;
    size_t end = at + 1;
    while (end < kids.size() && !(styleOf(kids[end]) & WS_GROUP)) ++end;
    const size_t n = end - first;
    for (size_t i = 1; i < n; ++i) {
        const size_t k = previous ? (at - first + n - i) % n : (at - first + i) % n;
        if (canTakeFocus(kids[first + k])) return kids[first + k];
    }
    return control;
}

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    auto info = infoOf(dialog);
    if (!rect || !info) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    rect->left = scale(rect->left, info->baseX, 4);
    rect->right = scale(rect->right, info->baseX, 4);
    rect->top = scale(rect->top, info->baseY, 8);
    rect->bottom = scale(rect->bottom, info->baseY, 8);
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits() { return MAKELONG(kBaseX, kBaseY); }

UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size) {
    if (text && size > 0) text[0] = 0;
    HWND control = GetDlgItem(dialog, id);
    if (!control) return 0;
    return static_cast<UINT>(GetWindowTextW(control, text, size));
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextW(control, text) : FALSE;
}

UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated) *translated = FALSE;
    WCHAR buffer[64] = {};
    HWND control = GetDlgItem(dialog, id);
    if (!control) return 0;
    GetWindowTextW(control, buffer, 64);
    const char16_t* p = buffer;
    while (*p == u' ' || *p == u'\t') ++p;
    bool negative = false;
    if (isSigned && *p == u'-') {
        negative = true;
        ++p;
    }
    if (*p < u'0' || *p > u'9') return 0;
    unsigned long long value = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        value = value * 10 + static_cast<unsigned>(*p - u'0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    while (*p == u' ' || *p == u'\t') ++p;
    if (*p) return 0;
    if (isSigned && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return 0;
    if (translated) *translated = TRUE;
    return negative ? static_cast<UINT>(0u - static_cast<UINT>(value)) : static_cast<UINT>(value);
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    const std::string digits = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    const std::u16string text(digits.begin(), digits.end());
    return SetDlgItemTextW(dialog, id, text.c_str());
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return FALSE;
    SendMessageW(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? static_cast<UINT>(SendMessageW(control, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check) {
    if (!IsWindow(dialog) || first > last) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int id = first; id <= last; ++id)
        if (HWND c = GetDlgItem(dialog, id)) SendMessageW(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageW(control, msg, wParam, lParam) : 0;
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    const auto buttons = boxButtons(type);
    if (buttons.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    res::DialogTemplate t;
    t.title = caption ? caption : u"Error";
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    if (type & MB_RTLREADING) t.exStyle |= WS_EX_RTLREADING;
    if (type & MB_RIGHT) t.exStyle |= WS_EX_RIGHT;
    if (type & MB_TOPMOST) t.exStyle |= WS_EX_TOPMOST;
    const std::u16string body = text ? text : u"";
    const int16_t width = static_cast<int16_t>(std::clamp<size_t>(body.size() * 4 + 40, 60 * buttons.size() + 20, 400));
    t.cx = width;
    t.cy = 70;
    if (type & MB_ICONMASK) t.controls.push_back({u"STATIC", u"", 20, WS_VISIBLE | SS_ICON, 0, 7, 7, 21, 20});
    t.controls.push_back({u"STATIC", body, 0xFFFF, static_cast<uint32_t>(WS_VISIBLE | WS_GROUP | ((type & MB_RIGHT) ? SS_RIGHT : SS_LEFT)),
                          0, 35, 7, static_cast<int16_t>(width - 42), 30});
    const size_t defIndex = std::min<size_t>(((type & MB_DEFMASK) >> 8), buttons.size() - 1);
    for (size_t i = 0; i < buttons.size(); ++i) {
        const uint32_t style = WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) | (i == defIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        t.controls.push_back({u"BUTTON", buttons[i].text, buttons[i].id, style, 0,
                              static_cast<int16_t>(width - 55 * static_cast<int>(buttons.size() - i)), 48, 50, 14});
    }
    DialogInfo info;
    info.modal = true;
    info.messageBox = true;
    info.mbType = type;
    info.mbText = body;
    HWND dialog = createDialog(t, nullptr, owner, messageBoxProc, 0, std::move(info));
    if (!dialog) return 0;
    const INT_PTR r = runModal(dialog, owner);
    return r < 0 ? 0 : static_cast<int>(r);
}

// ---- Scripting -------------------------------------------------------------------------------------
namespace platform::dialogs {

std::vector<HWND> findDialogs(std::u16string_view title, UINT templateId) {
    std::vector<std::pair<uint64_t, HWND>> found;
    {
        std::lock_guard lock(user::dialogs().mutex);
        for (auto& [hwnd, info] : user::dialogs().info)
            if (info.ready && !info.ended && (templateId == 0 || info.templateId == templateId)) found.push_back({info.serial, hwnd});
    }
    std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first > b.first; });
    std::vector<HWND> out;
    for (auto& [serial, hwnd] : found) {
        if (!IsWindow(hwnd) || (user::styleOf(hwnd) & WS_CHILD)) continue;
        if (!title.empty() && user::textOf(hwnd) != title) continue;
        out.push_back(hwnd);
    }
    return out;
}

HWND waitForDialog(std::u16string_view title, UINT templateId, DWORD realMilliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMilliseconds);
    for (;;) {
        auto found = findDialogs(title, templateId);
        if (!found.empty()) return found.front();
        if (std::chrono::steady_clock::now() >= until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

UINT templateIdOf(HWND dialog) {
    auto info = user::infoOf(dialog);
    return info ? info->templateId : 0;
}

bool isMessageBox(HWND dialog) {
    auto info = user::infoOf(dialog);
    return info && info->messageBox;
}

UINT messageBoxType(HWND dialog) {
    auto info = user::infoOf(dialog);
    return info && info->messageBox ? info->mbType : 0;
}

std::u16string controlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? user::textOf(control) : std::u16string();
}

std::u16string shownText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return {};
    std::u16string shown;
    if (!SendMessageW(control, user::kScriptShownText, 0, reinterpret_cast<LPARAM>(&shown))) return user::textOf(control);
    return shown;
}

UINT checkState(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id); }

HWND focusedControl(HWND dialog) {
    if (!user::infoOf(dialog)) return nullptr;
    return reinterpret_cast<HWND>(SendMessageW(dialog, user::kScriptGetFocus, 0, 0));
}

StaticColours staticColours(HWND dialog, int id) {
    StaticColours colours;
    if (HWND control = GetDlgItem(dialog, id))
        SendMessageW(control, user::kScriptColours, 0, reinterpret_cast<LPARAM>(&colours));
    return colours;
}

bool clickButton(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control || !IsWindowEnabled(control)) return false;
    SendMessageW(control, BM_CLICK, 0, 0);
    return true;
}

bool typeText(HWND dialog, int id, std::u16string_view text) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return false;
    for (char16_t c : text) SendMessageW(control, WM_CHAR, c, 1);
    return true;
}

bool focusControl(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && SendMessageW(dialog, user::kScriptFocus, reinterpret_cast<WPARAM>(control), 0);
}

bool pressKey(HWND dialog, UINT virtualKey, bool shift) {
    if (!user::infoOf(dialog)) return false;
    const DWORD tid = GetWindowThreadProcessId(dialog, nullptr);
    if (tid == GetCurrentThreadId()) return user::keyOnThread(dialog, virtualKey, shift);
    // The dialog's thread presses the key in its loop; a marker after it tells when that loop is back
    // (or a modal loop the key started is running), so a key that opens another dialog does not block.
    auto taken = std::make_shared<std::atomic<int>>(-1);
    uint64_t marker = 0;
    {
        std::lock_guard lock(user::state().mutex);
        if (!user::deliverCall(dialog, [=] { taken->store(user::keyOnThread(dialog, virtualKey, shift) ? 1 : 0); }))
            return false;
        marker = user::postMarker(tid);
    }
    if (marker && !user::awaitMarkers({{tid, marker}}, 60000)) return false;
    return taken->load() != 0;
}

bool chooseComboItem(HWND dialog, int id, int index) {
    HWND control = GetDlgItem(dialog, id);
    return control && SendMessageW(control, user::kScriptChoose, static_cast<WPARAM>(index), 0);
}

bool selectListItem(HWND dialog, int id, int index, bool select) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return false;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = select ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    return SendMessageW(control, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) != 0;
}

namespace {
// Where a user would click on a list view, in its client coordinates; false when it shows no such place.
bool listPlace(HWND list, bool header, int index, POINT& at) {
    user::ListPlace place;
    place.header = header;
    place.index = index;
    if (!SendMessageW(list, user::kScriptListPlace, 0, reinterpret_cast<LPARAM>(&place))) return false;
    at = POINT{(place.rect.left + place.rect.right) / 2, (place.rect.top + place.rect.bottom) / 2};
    return true;
}
}  // namespace

bool clickListColumn(HWND dialog, int id, int column) {
    HWND list = dialog && IsWindow(dialog) ? GetDlgItem(dialog, id) : nullptr;
    POINT at{};
    return list && listPlace(list, true, column, at) && clickMouse(list, at.x, at.y);
}

bool clickListItem(HWND dialog, int id, int item, bool twice) {
    HWND list = dialog && IsWindow(dialog) ? GetDlgItem(dialog, id) : nullptr;
    if (!list || !SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE)) return false;
    POINT at{};
    if (!listPlace(list, false, item, at)) return false;
    return twice ? doubleClickMouse(list, at.x, at.y) : clickMouse(list, at.x, at.y);
}

void setUnscriptedDialogHandler(std::function<void(const UnscriptedDialog&)> handler, DWORD virtualMilliseconds) {
    std::lock_guard lock(user::dialogs().mutex);
    user::dialogs().handler = std::move(handler);
    user::dialogs().watchdogMs = virtualMilliseconds ? virtualMilliseconds : 1;
}

Script::Script() { ++user::scripts; }
Script::~Script() {
    user::lastScriptEnd = GetTickCount64();
    --user::scripts;
}

}  // namespace platform::dialogs

namespace platform {

std::vector<DismissedDialog> dismissedDialogs() {
    std::vector<DismissedDialog> out;
    for (const auto& f : detail::readJournal(user::kDismissed, 6)) {
        DismissedDialog d;
        d.processId = static_cast<DWORD>(std::strtoul(toUtf8(f[0]).c_str(), nullptr, 10));
        d.program = f[1];
        d.title = f[2];
        d.templateId = static_cast<UINT>(std::strtoul(toUtf8(f[3]).c_str(), nullptr, 10));
        d.messageBox = f[4] == u"1";
        d.text = f[5];
        out.push_back(std::move(d));
    }
    return out;
}

std::optional<DialogAnswer> parseDialogAnswer(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) words.push_back(w);
    auto number = [](const std::string& w, long low, long high) -> std::optional<long> {
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(w.c_str(), &end, 10);
        if (w.empty() || *end || errno || v < low || v > high) return std::nullopt;
        return v;
    };
    DialogAnswer a;
    if (words.size() == 3 && words[0] == "press") {
        auto t = number(words[1], 1, 0xFFFF), c = number(words[2], INT32_MIN, INT32_MAX);
        if (!t || !c) return std::nullopt;
        a.kind = DialogAnswer::Press;
        a.templateId = static_cast<UINT>(*t);
        a.controlId = static_cast<int>(*c);
        return a;
    }
    if (words.size() == 4 && words[0] == "select") {
        auto t = number(words[1], 1, 0xFFFF), c = number(words[2], INT32_MIN, INT32_MAX), r = number(words[3], 0, INT32_MAX);
        if (!t || !c || !r) return std::nullopt;
        a.kind = DialogAnswer::Select;
        a.templateId = static_cast<UINT>(*t);
        a.controlId = static_cast<int>(*c);
        a.row = static_cast<int>(*r);
        return a;
    }
    if (words.size() == 2 && words[0] == "box") {
        auto b = number(words[1], 1, 0xFFFF);
        if (!b) return std::nullopt;
        a.kind = DialogAnswer::Box;
        a.button = static_cast<int>(*b);
        return a;
    }
    return std::nullopt;
}

std::string formatDialogAnswer(const DialogAnswer& a) {
    switch (a.kind) {
    case DialogAnswer::Press: return "press " + std::to_string(a.templateId) + " " + std::to_string(a.controlId);
    case DialogAnswer::Select:
        return "select " + std::to_string(a.templateId) + " " + std::to_string(a.controlId) + " " + std::to_string(a.row);
    case DialogAnswer::Box: return "box " + std::to_string(a.button);
    }
    return {};
}

void queueDialogAnswers(const std::vector<DialogAnswer>& answers) {
    std::error_code ec;
    std::filesystem::create_directories((machineRoot() / user::kAnswers).parent_path(), ec);
    detail::MachineLock lock(user::answersLock(), true);
    std::string text = detail::readHostFile(machineRoot() / user::kAnswers);
    for (const DialogAnswer& a : answers) text += formatDialogAnswer(a) + "\n";
    detail::writeHostFile(machineRoot() / user::kAnswers, text);
}

std::vector<std::string> queuedDialogAnswers() {
    std::vector<std::string> lines;
    std::istringstream in(detail::readHostFile(machineRoot() / user::kAnswers));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<AnsweredDialog> answeredDialogs() {
    std::vector<AnsweredDialog> out;
    for (const auto& f : detail::readJournal(user::kAnswered, 6)) {
        AnsweredDialog d;
        d.processId = static_cast<DWORD>(std::strtoul(toUtf8(f[0]).c_str(), nullptr, 10));
        d.program = f[1];
        d.answer = toUtf8(f[2]);
        d.title = f[3];
        d.carriedOut = f[4] == u"1";
        d.text = f[5];
        out.push_back(std::move(d));
    }
    return out;
}

void clearDialogAnswers() {
    detail::clearJournal(user::kAnswers);
    detail::clearJournal(user::kAnswered);
}

namespace {
std::filesystem::path keptFile() { return machineRoot() / "dialogs" / "never-dismissed"; }
}  // namespace

void keepFromDismissal(const std::vector<UINT>& templateIds) {
    std::string text;
    for (UINT id : templateIds) text += std::to_string(id) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(keptFile().parent_path(), ec);
    detail::writeHostFile(keptFile(), text);
}

std::vector<UINT> keptFromDismissal() {
    std::vector<UINT> ids;
    std::istringstream lines(detail::readHostFile(keptFile()));
    for (std::string line; std::getline(lines, line);) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(line.c_str(), &end, 10);
        if (end && *end == 0 && id > 0 && id <= 0xFFFF) ids.push_back(static_cast<UINT>(id));
    }
    return ids;
}

}  // namespace platform
