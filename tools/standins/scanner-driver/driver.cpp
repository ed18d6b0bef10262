// The stand-in scanner driver library: the twelve exports of the driver contract, driven by a script
// file beside the module and keeping a journal of every call there (see README.md).
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "ScanDriver.h"
#include "page_pattern.h"
#include "platform/control.h"
#include "win/files.h"
#include "win/kernel.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr DWORD kHandle = 0x5CA1;
constexpr int kBadHandle = 6;
constexpr int kBadLength = 87;
// The named event a "hold" read waits for, and the one it sets once it waits, so that a test in
// another process knows the read has begun.
constexpr const WCHAR* kHoldEvent = u"Local\\vqm-standin-hold";
constexpr const WCHAR* kHeldEvent = u"Local\\vqm-standin-held";

struct Script {
    int pages = 1;
    int open = 0, set = 0, get = 0;
    int pixelDelta = 0, lineDelta = 0;
    std::map<std::pair<int, int>, int> reads;  // (page, line) -> status
    std::map<int, int> next;                   // page -> status of the next-page query after it
    int busy = 0;
    int end = 2;
    int delayMs = 0;
    std::pair<int, int> hold{0, 0};  // (page, line) whose read waits for the hold event; none when 0
};

// Reads a script: "keyword numbers..." lines, '#' starts a comment. Nothing on an unknown keyword or
// a missing number, with the line that failed in `error`.
std::optional<Script> parseScript(std::string_view text, std::string& error) {
    Script script;
    std::istringstream lines{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        auto values = [&](int count, int* out) {
            for (int i = 0; i < count; ++i)
                if (!(words >> out[i])) return false;
            std::string rest;
            return !(words >> rest);
        };
        int v[3] = {};
        bool ok = true;
        if (keyword == "pages") ok = values(1, &script.pages);
        else if (keyword == "open") ok = values(1, &script.open);
        else if (keyword == "set") ok = values(1, &script.set);
        else if (keyword == "get") ok = values(1, &script.get);
        else if (keyword == "pixels") ok = values(1, &script.pixelDelta);
        else if (keyword == "lines") ok = values(1, &script.lineDelta);
        else if (keyword == "busy") ok = values(1, &script.busy);
        else if (keyword == "end") ok = values(1, &script.end);
        else if (keyword == "delay") ok = values(1, &script.delayMs);
        else if (keyword == "hold" && (ok = values(2, v))) script.hold = {v[0], v[1]};
        else if (keyword == "read" && (ok = values(3, v))) script.reads[{v[0], v[1]}] = v[2];
        else if (keyword == "next" && (ok = values(2, v))) script.next[v[0]] = v[1];
        else if (keyword != "read" && keyword != "next" && keyword != "hold") ok = false;
        if (!ok) {
            error = "script line " + std::to_string(number) + ": " + line;
            return std::nullopt;
        }
    }
    return script;
}

struct ReadRun {
    int page = 0, first = 0, last = 0;
    DWORD length = 0;
    bool beyond = false;  // lines past those the driver reported
};

struct State {
    HMODULE module = nullptr;
    Script script;
    int page = 1, line = 0;
    int pixels = 0, lines = 0, colorMode = 0;
    int busyLeft = 0;
    bool busyArmed = false;
    std::optional<ReadRun> run;
};
State g_state;

std::optional<std::filesystem::path> besideModule(const char* extension) {
    WCHAR path[MAX_PATH] = {};
    if (!g_state.module || GetModuleFileNameW(g_state.module, path, MAX_PATH) == 0) return std::nullopt;
    std::u16string name(path);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) name.erase(dot);
    return platform::hostPath(name + platform::fromUtf8(extension));
}

void writeJournal(const std::string& line) {
    if (auto path = besideModule(".journal")) {
        std::ofstream out(*path, std::ios::app);
        out << line << '\n';
    }
}

void flushReads() {
    if (!g_state.run) return;
    const ReadRun& r = *g_state.run;
    std::ostringstream line;
    line << "ScanDrv_ReadScanData page " << r.page << " lines " << r.first << "-" << r.last << " length " << r.length
         << (r.beyond ? " blank" : "") << " -> 0";
    g_state.run.reset();
    writeJournal(line.str());
}

int journal(const std::string& call, int status) {
    flushReads();
    writeJournal(call + " -> " + std::to_string(status));
    return status;
}

std::string handleText(DWORD handle) { return std::to_string(handle); }

DWORD rawLineBytes() {
    const int bits = g_state.colorMode == 2 ? 24 : g_state.colorMode == 1 ? 8 : 1;
    return static_cast<DWORD>((static_cast<int64_t>(bits) * std::max(g_state.pixels, 0) + 7) / 8);
}

// The pixels or lines of a window side (1/1200 inch) at a resolution, moved by the script's delta, in
// 64 bits and held to the range of the driver's int: a script may ask for sizes near 2^31.
int reportedCount(int end, int start, int resolution, int delta) {
    const int64_t count = (int64_t{end} - start) * resolution / 1200 + delta;
    return static_cast<int>(std::clamp<int64_t>(count, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int openDevice(const char* call, const char* path, DWORD* handle) {
    g_state.script = Script();
    g_state.page = 1;
    g_state.line = 0;
    g_state.run.reset();
    std::string error;
    std::string text;
    if (auto file = besideModule(".script")) {
        std::ifstream in(*file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        text = bytes.str();
    }
    auto script = parseScript(text, error);
    if (!script) {
        writeJournal(error);
        return journal(std::string(call) + " \"" + (path ? path : "") + "\"", -1);
    }
    g_state.script = *script;
    if (handle && g_state.script.open == 0) *handle = kHandle;
    return journal(std::string(call) + " \"" + (path ? path : "") + "\"", g_state.script.open);
}

}  // namespace

STANDIN_EXPORT BOOL DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_state.module = instance;
    if (reason == DLL_PROCESS_DETACH) flushReads();
    return TRUE;
}

STANDIN_EXPORT int ScanDrv_Open(const char* path, DWORD* handle) { return openDevice("ScanDrv_Open", path, handle); }

STANDIN_EXPORT int ScanDrv_Open_C(const char* path, DWORD* handle) {
    return openDevice("ScanDrv_Open_C", path, handle);
}

STANDIN_EXPORT int ScanDrv_Close(DWORD handle) {
    return journal("ScanDrv_Close " + handleText(handle), handle == kHandle ? 0 : kBadHandle);
}

STANDIN_EXPORT int ScanDrv_SetScanParameterAdj(DWORD handle, BYTE* adj1, BYTE* adj2, BYTE* adj3, int v1, int v2,
                                               int v3, int v4) {
    auto zeroed = [](const BYTE* buffer) {
        if (!buffer) return "null";
        for (int i = 0; i < SCANDRV_ADJ_BUFFER_BYTES; ++i)
            if (buffer[i]) return "nonzero";
        return "zeroed";
    };
    std::ostringstream call;
    call << "ScanDrv_SetScanParameterAdj " << handle << ' ' << zeroed(adj1) << ' ' << zeroed(adj2) << ' '
         << zeroed(adj3) << ' ' << v1 << ' ' << v2 << ' ' << v3 << ' ' << v4;
    return journal(call.str(), handle == kHandle ? 0 : kBadHandle);
}

STANDIN_EXPORT int ScanDrv_SetScanParameter(DWORD handle, int xres, int yres, int colorMode, int left, int top,
                                            int right, int bottom, int option, int source) {
    std::ostringstream call;
    call << "ScanDrv_SetScanParameter " << handle << ' ' << xres << ' ' << yres << ' ' << colorMode << ' ' << left
         << ' ' << top << ' ' << right << ' ' << bottom << ' ' << option << ' ' << source;
    if (handle != kHandle) return journal(call.str(), kBadHandle);
    if (g_state.script.set != 0) return journal(call.str(), g_state.script.set);
    g_state.colorMode = colorMode;
    g_state.pixels = reportedCount(right, left, xres, g_state.script.pixelDelta);
    g_state.lines = reportedCount(bottom, top, yres, g_state.script.lineDelta);
    return journal(call.str(), 0);
}

STANDIN_EXPORT int ScanDrv_GetScanParameter(DWORD handle, int* pixels, int* lines) {
    const int status = handle != kHandle ? kBadHandle : g_state.script.get;
    if (status == 0) {
        if (pixels) *pixels = g_state.pixels;
        if (lines) *lines = g_state.lines;
    }
    return journal("ScanDrv_GetScanParameter " + handleText(handle) +
                       (status == 0 ? " " + std::to_string(g_state.pixels) + " " + std::to_string(g_state.lines) : ""),
                   status);
}

STANDIN_EXPORT int ScanDrv_StartScan(DWORD handle) {
    g_state.page = 1;
    g_state.line = 0;
    return journal("ScanDrv_StartScan " + handleText(handle), handle == kHandle ? 0 : kBadHandle);
}

STANDIN_EXPORT int ScanDrv_AbortScan(DWORD handle) {
    return journal("ScanDrv_AbortScan " + handleText(handle), handle == kHandle ? 0 : kBadHandle);
}

STANDIN_EXPORT int ScanDrv_ReadScanData(DWORD handle, BYTE* buffer, DWORD length, DWORD* read) {
    if (handle != kHandle) return journal("ScanDrv_ReadScanData " + handleText(handle), kBadHandle);
    const int line = ++g_state.line;
    const DWORD expected = rawLineBytes();
    if (length != expected || !buffer) {
        return journal("ScanDrv_ReadScanData page " + std::to_string(g_state.page) + " line " + std::to_string(line) +
                           " length " + std::to_string(length) + " expected " + std::to_string(expected),
                       kBadLength);
    }
    if (auto it = g_state.script.reads.find({g_state.page, line}); it != g_state.script.reads.end()) {
        return journal("ScanDrv_ReadScanData page " + std::to_string(g_state.page) + " line " + std::to_string(line),
                       it->second);
    }
    if (g_state.script.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(g_state.script.delayMs));
    if (g_state.script.hold == std::pair{g_state.page, line}) {
        // The read waits until the test lets it go, so that whatever the test does meanwhile lands
        // mid-page however slowly the machine runs.
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, kHoldEvent);
        if (HANDLE held = CreateEventW(nullptr, TRUE, FALSE, kHeldEvent)) {
            SetEvent(held);
            CloseHandle(held);
        }
        if (release) {
            WaitForSingleObject(release, INFINITE);
            CloseHandle(release);
        }
    }
    const bool beyond = line > g_state.lines;
    if (beyond) {
        std::memset(buffer, 0xFF, length);  // white past the driver's own lines
    } else {
        standin::pageLineInto(g_state.page, line - 1, g_state.pixels, g_state.lines, g_state.colorMode, buffer);
    }
    if (read) *read = length;
    auto& run = g_state.run;
    if (run && (run->page != g_state.page || run->last != line - 1 || run->length != length || run->beyond != beyond))
        flushReads();
    if (!run) run = ReadRun{g_state.page, line, line, length, beyond};
    run->last = line;
    return 0;
}

STANDIN_EXPORT int ScanDrv_GetNextPushStatus(DWORD handle) {
    if (handle != kHandle) return journal("ScanDrv_GetNextPushStatus " + handleText(handle), kBadHandle);
    const Script& script = g_state.script;
    const bool more = g_state.page < script.pages;
    if (more && !g_state.busyArmed) {
        g_state.busyLeft = script.busy;
        g_state.busyArmed = true;
    }
    int status;
    if (more && g_state.busyLeft > 0) {
        --g_state.busyLeft;
        status = SCANDRV_BUSY;
    } else if (auto it = script.next.find(g_state.page); it != script.next.end()) {
        status = it->second;
    } else {
        status = more ? SCANDRV_NEXT_PAGE_READY : script.end;
    }
    const int after = g_state.page;
    if (status == SCANDRV_NEXT_PAGE_READY && more) {
        ++g_state.page;
        g_state.line = 0;
        g_state.busyArmed = false;
    }
    return journal("ScanDrv_GetNextPushStatus " + handleText(handle) + " after page " + std::to_string(after), status);
}

STANDIN_EXPORT int ScanDrv_GetCurScanLineNum(DWORD handle, DWORD* lines) {
    if (lines) *lines = static_cast<DWORD>(g_state.line);
    return journal("ScanDrv_GetCurScanLineNum " + handleText(handle), 0);
}

#ifndef STANDIN_WITHOUT_TRANSFER_SIZE
STANDIN_EXPORT int ScanDrv_GetCurTransferSize(DWORD handle, DWORD* bytes) {
    if (bytes) *bytes = rawLineBytes();
    return journal("ScanDrv_GetCurTransferSize " + handleText(handle), 0);
}
#endif
