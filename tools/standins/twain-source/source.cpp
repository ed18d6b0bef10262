// The stand-in TWAIN data source: DS_Entry with the states of the standard (4 open, 5 enabled,
// 6 transfer ready, 7 transferring), strict about their order, memory and native transfers of the
// images of source_image.h, driven by a script beside the module and journalling every triplet
// there (see README.md).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/twain_names.h"
#include "source_image.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"
#include "win/twain.h"
#include "win/user.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr TW_UINT16 kCustomCapability = 0x8123;

struct Script {
    std::string product = "Stand-in Scanner";
    std::string prefix = "vrx4410";
    int images = 1;
    twainstandin::ImageShape shape;
    std::vector<int> greys;  // one grey per image
    std::optional<std::pair<int, int>> reported;  // ImageWidth and ImageLength reported instead
    int resolution = 300;
    uint32_t maxBuffer = 65536;
    std::map<std::pair<int, int>, TW_UINT16> strips;  // (image, strip) from 1 -> TWRC_CANCEL or TWRC_FAILURE
    bool memoryTransfer = true;
    std::optional<int> checkStatus;  // the transfer count proposed after a TWRC_CHECKSTATUS
    int duplexAfter = 0;             // "Global\manual_duplex" made when this many images have ended
    bool busySign = false;
    bool closeRequest = false;
    bool refuseOpen = false, refuseEnable = false;  // as a device that is switched off
    // The save settings its interface writes: where (an explicit file, or the settings folder of the
    // product INI), the folder, name and extension, the three after-scan flags and the mail program.
    std::u16string settingsFile, saveFolder, saveName, saveExtension, mailProgram;
    bool settingsFolder = false;
    int32_t openFile = 0, openFolder = 0, sendMail = 0;
};

std::string restOf(std::istringstream& words) {
    std::string rest;
    std::getline(words, rest);
    const size_t start = rest.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : rest.substr(start);
}

// "keyword values" lines, '#' starts a comment; nothing on a line it does not understand.
std::optional<Script> parseScript(const std::string& text, std::string& error) {
    Script s;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        bool ok = true;
        int a = 0, b = 0, c = 0;
        if (keyword == "product") ok = !(s.product = restOf(words)).empty();
        else if (keyword == "prefix") ok = !!(words >> s.prefix);
        else if (keyword == "images") ok = !!(words >> s.images);
        else if (keyword == "image" && (ok = !!(words >> a >> b >> c) && a >= 0 && b >= 0)) s.shape = {a, b, c, -1};
        else if (keyword == "reported" && (ok = !!(words >> a >> b))) s.reported = std::make_pair(a, b);
        else if (keyword == "resolution") ok = !!(words >> s.resolution);
        else if (keyword == "maxbuf") ok = !!(words >> s.maxBuffer);
        else if (keyword == "grey") { while (words >> a) s.greys.push_back(a); ok = !s.greys.empty(); }
        else if ((keyword == "cancel" || keyword == "fail") && (ok = !!(words >> a >> b)))
            s.strips[{a, b}] = keyword == "cancel" ? TWRC_CANCEL : TWRC_FAILURE;
        else if (keyword == "no-memxfer") s.memoryTransfer = false;
        else if (keyword == "checkstatus" && (ok = !!(words >> a))) s.checkStatus = a;
        else if (keyword == "duplex") ok = !!(words >> s.duplexAfter);
        else if (keyword == "busy-sign") s.busySign = true;
        else if (keyword == "close-request") s.closeRequest = true;
        else if (keyword == "refuse-open") s.refuseOpen = true;
        else if (keyword == "refuse-enable") s.refuseEnable = true;
        else if (keyword == "settings-file") ok = !(s.settingsFile = platform::fromUtf8(restOf(words))).empty();
        else if (keyword == "save-folder") s.saveFolder = platform::fromUtf8(restOf(words));
        else if (keyword == "save-name") s.saveName = platform::fromUtf8(restOf(words));
        else if (keyword == "save-ext") s.saveExtension = platform::fromUtf8(restOf(words));
        else if (keyword == "save-settings") s.settingsFolder = true;
        else if (keyword == "save-flags") ok = !!(words >> s.openFile >> s.openFolder >> s.sendMail);
        else if (keyword == "save-mail-program") s.mailProgram = platform::fromUtf8(restOf(words));
        else if (keyword != "image" && keyword != "reported" && keyword != "cancel" && keyword != "fail" &&
                 keyword != "checkstatus") ok = false;
        if (!ok) {
            error = "script line " + std::to_string(number) + ": " + line;
            return std::nullopt;
        }
    }
    return s;
}

struct Source {
    std::recursive_mutex mutex;
    HMODULE module = nullptr;
    Script script;
    int state = 3;  // 3: closed; 4 open; 5 enabled; 6 transfer ready; 7 transferring
    TW_IDENTITY identity{}, application{};
    TW_UINT16 condition = TWCC_SUCCESS;
    int transferCount = -1;
    bool checkStatusDone = false;
    TW_CALLBACK callback{};
    HWND ui = nullptr;
    HANDLE busySign = nullptr, duplexEvent = nullptr;
    int pending = 0, image = 0, ended = 0;  // image: index of the current image from 0
    int strip = 0, row = 0;                 // strips given and rows delivered of the current image
};
Source g_source;  // the module stays mapped (-z nodelete): a callback thread may outlive the close

std::optional<std::filesystem::path> besideModule(const char16_t* extension) {
    WCHAR path[MAX_PATH] = {};
    if (!g_source.module || GetModuleFileNameW(g_source.module, path, MAX_PATH) == 0) return std::nullopt;
    std::u16string name(path);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos) name.erase(dot);
    return platform::hostPath(name + extension);
}

void journal(const std::string& line) {
    if (auto path = besideModule(u".journal")) {
        std::ofstream out(*path, std::ios::app);
        out << line << '\n';
    }
}

bool readScript() {
    std::string text, error;
    if (auto path = besideModule(u".script")) {
        std::ifstream in(*path);
        std::stringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
    }
    auto script = parseScript(text, error);
    if (!script) {
        journal(error);
        return false;
    }
    g_source.script = *script;
    return true;
}

void fillIdentity(TW_IDENTITY& identity) {
    const TW_UINT32 id = identity.Id;
    identity = {};
    identity.Id = id;
    identity.Version = {1, 0, TWLG_USA, TWCY_USA, "1.0"};
    identity.ProtocolMajor = 2;
    identity.ProtocolMinor = 2;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strncpy(identity.Manufacturer, "Stand-in", sizeof(TW_STR32) - 1);
    std::strncpy(identity.ProductFamily, "Stand-in", sizeof(TW_STR32) - 1);
    std::strncpy(identity.ProductName, g_source.script.product.c_str(), sizeof(TW_STR32) - 1);
}

twainstandin::ImageShape shapeOf(int image) {
    twainstandin::ImageShape shape = g_source.script.shape;
    if (image < static_cast<int>(g_source.script.greys.size())) shape.grey = g_source.script.greys[image];
    return shape;
}

// Calls the application's callback on a thread of its own, as a source's interface does.
void callBack(TW_UINT16 message) {
    Source& s = g_source;
    if (!s.callback.CallBackProc) return;
    auto proc = reinterpret_cast<TWAINCALLBACKPROC>(s.callback.CallBackProc);
    TW_IDENTITY origin = s.identity, destination = s.application;
    std::thread([proc, origin, destination, message]() mutable {
        {
            std::lock_guard lock(g_source.mutex);  // after the journal line of the triplet that began it
            journal(std::string("callback ") + (message == MSG_XFERREADY ? "XFERREADY" : "CLOSEDSREQ"));
        }
        proc(&origin, &destination, DG_CONTROL, DAT_NULL, message, nullptr);
    }).detach();
}

// The interface's window: class prefix + "UIFLAG", owned by the application's window; it journals
// the application's private messages it receives.
LRESULT CALLBACK uiProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER) {
        char text[80];
        snprintf(text, sizeof text, "ui message 0x%X %llu %lld", message, static_cast<unsigned long long>(wParam),
                 static_cast<long long>(lParam));
        journal(text);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void showInterface(HWND parent) {
    const std::u16string className = platform::fromUtf8(g_source.script.prefix) + u"UIFLAG";
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = uiProcedure;
    wc.hInstance = g_source.module;
    wc.lpszClassName = className.c_str();
    RegisterClassExW(&wc);  // already there from an earlier enable: fine
    g_source.ui = CreateWindowExW(0, className.c_str(), u"Scanner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, parent,
                                  nullptr, g_source.module, nullptr);
}

// A text of section [TWAIN] of the product INI, C:\Windows\<prefix>.ini as the installer writes it.
std::u16string productIniString(const char16_t* key) {
    const std::u16string ini = u"C:\\Windows\\" + platform::fromUtf8(g_source.script.prefix) + u".ini";
    WCHAR value[MAX_PATH] = {};
    GetPrivateProfileStringW(u"TWAIN", key, u"", value, MAX_PATH, ini.c_str());
    return value;
}

// Where the interface keeps "imgSaveSettings.dat": the user's application-data folder + "Setting Path"
// (after making it + "Setting Folder" and the folder itself; the INI's texts carry their own
// backslashes, and one closes the folder when "Setting Path" lacks it). Empty when there is none.
std::u16string settingsFolderFile() {
    WCHAR appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData))) return {};
    CreateDirectoryW((appData + productIniString(u"Setting Folder")).c_str(), nullptr);
    std::u16string folder = appData + productIniString(u"Setting Path");
    CreateDirectoryW(folder.c_str(), nullptr);
    if (folder.back() != u'\\') folder += u'\\';
    return folder + u"imgSaveSettings.dat";
}

// The save settings as the interface writes them for the scan application (2100 bytes, little-endian):
// folder, name and extension in 260-character UTF-16 fields at 0, 520 and 1040, the open-file,
// open-folder and mail flags at 1560, 1564 and 1568, the mail program at 1572, two unused values.
// Written at enable and after each image; after image k the name has "_k+1".
void writeSettings() {
    const Script& script = g_source.script;
    const std::u16string file = !script.settingsFile.empty() ? script.settingsFile
                                : script.settingsFolder      ? settingsFolderFile()
                                                             : std::u16string();
    if (file.empty()) return;
    std::u16string name = script.saveName;
    if (g_source.ended > 0) name += u"_" + platform::fromUtf8(std::to_string(g_source.ended + 1));
    std::string record(2100, '\0');
    auto put = [&](size_t offset, const std::u16string& text) {
        for (size_t i = 0; i < text.size() && i < 259; ++i) {
            record[offset + 2 * i] = static_cast<char>(text[i] & 0xFF);
            record[offset + 2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
    };
    auto put32 = [&](size_t offset, int32_t value) {
        for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
    };
    put(0, script.saveFolder);
    put(520, name);
    put(1040, script.saveExtension);
    put32(1560, script.openFile);
    put32(1564, script.openFolder);
    put32(1568, script.sendMail);
    put(1572, script.mailProgram);
    HANDLE out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = out != INVALID_HANDLE_VALUE &&
                    WriteFile(out, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
                    written == record.size();
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    journal(ok ? "settings written" : "settings not written: error " + std::to_string(GetLastError()));
}

TW_UINT16 fail(TW_UINT16 condition) {
    g_source.condition = condition;
    return TWRC_FAILURE;
}

TW_UINT16 capability(TW_UINT16 msg, TW_CAPABILITY* cap, std::string& note) {
    Source& s = g_source;
    if (!cap) return fail(TWCC_BADVALUE);
    note = " cap 0x" + [&] { char t[8]; snprintf(t, sizeof t, "%X", cap->Cap); return std::string(t); }();
    if (msg == MSG_GET) {
        if (s.state < 4) return fail(TWCC_SEQERROR);
        if (cap->Cap != CAP_XFERCOUNT) return fail(TWCC_CAPUNSUPPORTED);
        HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
        auto* value = static_cast<TW_ONEVALUE*>(GlobalLock(block));
        value->ItemType = TWTY_INT16;
        value->Item = static_cast<TW_UINT32>(static_cast<TW_UINT16>(static_cast<TW_INT16>(s.transferCount)));
        GlobalUnlock(block);
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = block;
        return TWRC_SUCCESS;
    }
    if (msg != MSG_SET) return fail(TWCC_BADPROTOCOL);
    if (s.state != 4) return fail(TWCC_SEQERROR);
    if (cap->ConType != TWON_ONEVALUE || !cap->hContainer) return fail(TWCC_BADVALUE);
    auto* value = static_cast<TW_ONEVALUE*>(GlobalLock(cap->hContainer));
    if (!value) return fail(TWCC_BADVALUE);
    const TW_ONEVALUE one = *value;
    GlobalUnlock(cap->hContainer);
    note += " type " + std::to_string(one.ItemType) + " value " + std::to_string(static_cast<TW_INT16>(one.Item));
    if (cap->Cap == kCustomCapability) return one.ItemType == TWTY_BOOL ? TWRC_SUCCESS : fail(TWCC_BADVALUE);
    if (cap->Cap != CAP_XFERCOUNT) return fail(TWCC_CAPUNSUPPORTED);
    if (one.ItemType != TWTY_INT16 && one.ItemType != TWTY_UINT16) return fail(TWCC_BADVALUE);
    if (s.script.checkStatus && !s.checkStatusDone) {
        s.checkStatusDone = true;
        s.transferCount = *s.script.checkStatus;
        return TWRC_CHECKSTATUS;
    }
    s.transferCount = static_cast<TW_INT16>(one.Item);
    return TWRC_SUCCESS;
}

TW_UINT16 imageInfo(TW_IMAGEINFO* info) {
    Source& s = g_source;
    if (s.state != 6 && s.state != 7) return fail(TWCC_SEQERROR);
    if (!info) return fail(TWCC_BADVALUE);
    const twainstandin::ImageShape shape = shapeOf(s.image);
    *info = {};
    info->XResolution = {static_cast<TW_INT16>(s.script.resolution), 0};
    info->YResolution = info->XResolution;
    info->ImageWidth = s.script.reported ? s.script.reported->first : shape.width;
    info->ImageLength = s.script.reported ? s.script.reported->second : shape.height;
    info->SamplesPerPixel = shape.bitsPerPixel == 24 ? 3 : 1;
    info->BitsPerSample[0] = static_cast<TW_INT16>(shape.bitsPerPixel == 24 ? 8 : shape.bitsPerPixel);
    info->BitsPerPixel = static_cast<TW_INT16>(shape.bitsPerPixel);
    info->PixelType = shape.bitsPerPixel == 24 ? TWPT_RGB : shape.bitsPerPixel == 8 ? TWPT_GRAY : TWPT_BW;
    info->Compression = TWCP_NONE;
    return TWRC_SUCCESS;
}

TW_UINT16 memoryStrip(TW_IMAGEMEMXFER* xfer, std::string& note) {
    Source& s = g_source;
    if (s.state != 6 && s.state != 7) return fail(TWCC_SEQERROR);
    if (!s.script.memoryTransfer) return fail(TWCC_BADPROTOCOL);
    const twainstandin::ImageShape shape = shapeOf(s.image);
    const uint32_t bytesPerRow = shape.bytesPerRow();
    if (!xfer || (xfer->Memory.Flags & (TWMF_APPOWNS | TWMF_POINTER)) != (TWMF_APPOWNS | TWMF_POINTER) ||
        !xfer->Memory.TheMem || xfer->Memory.Length < bytesPerRow)
        return fail(TWCC_BADVALUE);
    s.state = 7;
    ++s.strip;
    note = " strip " + std::to_string(s.strip) + " length " + std::to_string(xfer->Memory.Length);
    if (auto it = s.script.strips.find({s.image + 1, s.strip}); it != s.script.strips.end()) {
        if (it->second == TWRC_FAILURE) return fail(TWCC_BUMMER);
        return TWRC_CANCEL;
    }
    // Rows of no bytes (an image of width 0) all fit at once.
    const int rows = bytesPerRow == 0 ? shape.height - s.row
                                      : std::min<int>(static_cast<int>(xfer->Memory.Length / bytesPerRow), shape.height - s.row);
    auto* out = static_cast<uint8_t*>(xfer->Memory.TheMem);
    for (int r = 0; bytesPerRow != 0 && r < rows; ++r) {
        const std::vector<uint8_t> bytes = twainstandin::imageRow(shape, s.image, s.row + r);
        std::memcpy(out + static_cast<size_t>(r) * bytesPerRow, bytes.data(), bytesPerRow);
    }
    xfer->Compression = TWCP_NONE;
    xfer->BytesPerRow = bytesPerRow;
    xfer->Columns = static_cast<TW_UINT32>(shape.width);
    xfer->Rows = static_cast<TW_UINT32>(rows);
    xfer->XOffset = 0;
    xfer->YOffset = static_cast<TW_UINT32>(s.row);
    xfer->BytesWritten = static_cast<TW_UINT32>(rows) * bytesPerRow;
    note += " rows " + std::to_string(rows);
    s.row += rows;
    return s.row >= shape.height ? TWRC_XFERDONE : TWRC_SUCCESS;
}

// A bottom-up DIB of the current image in a global block.
TW_UINT16 nativeImage(TW_MEMREF data) {
    Source& s = g_source;
    if (s.state != 6) return fail(TWCC_SEQERROR);
    if (!data) return fail(TWCC_BADVALUE);
    const twainstandin::ImageShape shape = shapeOf(s.image);
    const int colours = shape.bitsPerPixel == 24 ? 0 : 1 << shape.bitsPerPixel;
    const size_t header = 40 + 4 * static_cast<size_t>(colours);
    HGLOBAL block = GlobalAlloc(GHND, header + static_cast<size_t>(shape.bytesPerRow()) * shape.height);
    if (!block) return fail(TWCC_LOWMEMORY);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(bytes + at, &v, 4); };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(shape.width));
    put32(8, static_cast<uint32_t>(shape.height));
    bytes[12] = 1;
    bytes[14] = static_cast<uint8_t>(shape.bitsPerPixel);
    put32(32, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; ++i) {
        const uint8_t grey = static_cast<uint8_t>(colours == 2 ? i * 255 : i);
        bytes[40 + 4 * i] = bytes[41 + 4 * i] = bytes[42 + 4 * i] = grey;
    }
    for (int row = 0; shape.bytesPerRow() != 0 && row < shape.height; ++row) {
        std::vector<uint8_t> line = twainstandin::imageRow(shape, s.image, row);
        if (shape.bitsPerPixel == 24)
            for (int x = 0; x < shape.width; ++x) std::swap(line[3 * x], line[3 * x + 2]);
        std::memcpy(bytes + header + static_cast<size_t>(shape.height - 1 - row) * shape.bytesPerRow(), line.data(),
                    line.size());
    }
    GlobalUnlock(block);
    *static_cast<HGLOBAL*>(data) = block;
    s.state = 7;
    return TWRC_XFERDONE;
}

TW_UINT16 pendingTransfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) {
    Source& s = g_source;
    if (!pending) return fail(TWCC_BADVALUE);
    if (msg == MSG_ENDXFER) {
        if (s.state != 6 && s.state != 7) return fail(TWCC_SEQERROR);
        --s.pending;
        ++s.ended;
        ++s.image;
        s.strip = s.row = 0;
        if (s.script.duplexAfter > 0 && s.ended == s.script.duplexAfter && !s.duplexEvent)
            s.duplexEvent = CreateEventW(nullptr, TRUE, FALSE, u"Global\\manual_duplex");
        writeSettings();
        s.state = s.pending > 0 ? 6 : 5;
        if (s.state == 5 && s.script.closeRequest) callBack(MSG_CLOSEDSREQ);
    } else if (msg == MSG_RESET) {
        if (s.state != 6) return fail(TWCC_SEQERROR);
        s.pending = 0;
        s.state = 5;
    } else {
        return fail(TWCC_BADPROTOCOL);
    }
    pending->Count = static_cast<TW_UINT16>(s.pending);
    pending->Reserved = 0;
    return TWRC_SUCCESS;
}

TW_UINT16 control(pTW_IDENTITY origin, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, std::string& note) {
    Source& s = g_source;
    switch (dat) {
    case DAT_IDENTITY:
        if (msg == MSG_GET) {
            if (!data) return fail(TWCC_BADVALUE);
            if (s.state == 3 && !readScript()) return fail(TWCC_BUMMER);
            fillIdentity(*static_cast<pTW_IDENTITY>(data));
            return TWRC_SUCCESS;
        }
        if (msg == MSG_OPENDS) {
            if (s.state != 3) return fail(TWCC_SEQERROR);
            if (!readScript()) return fail(TWCC_BUMMER);
            if (s.script.refuseOpen) return fail(TWCC_OPERATIONERROR);
            s.identity = *static_cast<pTW_IDENTITY>(data);
            fillIdentity(s.identity);
            s.application = *origin;
            s.transferCount = -1;
            s.checkStatusDone = false;
            s.callback = {};
            s.pending = s.image = s.ended = s.strip = s.row = 0;
            if (s.script.busySign) {
                const std::u16string name = u"Global\\" + platform::fromUtf8(s.script.prefix) + u"_sign";
                s.busySign = CreateMutexW(nullptr, FALSE, name.c_str());
            }
            s.state = 4;
            return TWRC_SUCCESS;
        }
        if (msg == MSG_CLOSEDS) {
            if (s.state != 4) return fail(TWCC_SEQERROR);
            if (s.busySign) CloseHandle(s.busySign);
            if (s.duplexEvent) CloseHandle(s.duplexEvent);
            s.busySign = s.duplexEvent = nullptr;
            s.state = 3;
            return TWRC_SUCCESS;
        }
        return fail(TWCC_BADPROTOCOL);
    case DAT_STATUS:
        if (msg != MSG_GET || !data) return fail(TWCC_BADVALUE);
        *static_cast<TW_STATUS*>(data) = {s.condition, 0};
        s.condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    case DAT_CAPABILITY: return capability(msg, static_cast<TW_CAPABILITY*>(data), note);
    case DAT_CALLBACK:
        if (msg != MSG_REGISTER_CALLBACK || !data) return fail(TWCC_BADPROTOCOL);
        if (s.state != 4) return fail(TWCC_SEQERROR);
        s.callback = *static_cast<TW_CALLBACK*>(data);
        return TWRC_SUCCESS;
    case DAT_USERINTERFACE: {
        auto* ui = static_cast<TW_USERINTERFACE*>(data);
        if (!ui) return fail(TWCC_BADVALUE);
        if (msg == MSG_ENABLEDS) {
            if (s.state != 4) return fail(TWCC_SEQERROR);
            note = ui->ShowUI ? " with interface" : " without interface";
            if (s.script.refuseEnable) return fail(TWCC_OPERATIONERROR);
            s.state = 5;
            ui->ModalUI = FALSE;
            if (ui->ShowUI) showInterface(static_cast<HWND>(ui->hParent));
            writeSettings();
            s.pending = s.transferCount > 0 ? std::min(s.transferCount, s.script.images) : s.script.images;
            if (s.pending > 0) {
                s.state = 6;
                callBack(MSG_XFERREADY);
            }
            return TWRC_SUCCESS;
        }
        if (msg == MSG_DISABLEDS) {
            if (s.state != 5) return fail(TWCC_SEQERROR);
            if (s.ui) DestroyWindow(s.ui);
            s.ui = nullptr;
            // The class goes with the window: another copy of this module registers its own.
            UnregisterClassW((platform::fromUtf8(s.script.prefix) + u"UIFLAG").c_str(), s.module);
            s.state = 4;
            return TWRC_SUCCESS;
        }
        return fail(TWCC_BADPROTOCOL);
    }
    case DAT_PENDINGXFERS: return pendingTransfers(msg, static_cast<TW_PENDINGXFERS*>(data));
    case DAT_SETUPMEMXFER: break;  // also taken under DG_IMAGE, below
    default: return fail(TWCC_BADPROTOCOL);
    }
    return fail(TWCC_BADPROTOCOL);
}

TW_UINT16 setupMemoryTransfer(TW_UINT16 msg, TW_SETUPMEMXFER* setup) {
    Source& s = g_source;
    if (msg != MSG_GET || !setup) return fail(TWCC_BADPROTOCOL);
    if (s.state < 4 || s.state > 6) return fail(TWCC_SEQERROR);
    if (!s.script.memoryTransfer) return fail(TWCC_BADPROTOCOL);
    const uint32_t row = shapeOf(s.image).bytesPerRow();
    *setup = {row, s.script.maxBuffer, s.script.maxBuffer};
    return TWRC_SUCCESS;
}

}  // namespace

STANDIN_EXPORT TW_UINT16 WINAPI DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                         TW_MEMREF data) {
    Source& s = g_source;
    std::lock_guard lock(s.mutex);
    std::string note;
    TW_UINT16 rc;
    if (dat == DAT_SETUPMEMXFER && (dg == DG_CONTROL || dg == DG_IMAGE)) {
        // The maker's source answers this under DG_IMAGE as well as under DG_CONTROL.
        rc = setupMemoryTransfer(msg, static_cast<TW_SETUPMEMXFER*>(data));
    } else if (dg == DG_CONTROL) {
        rc = control(origin, dat, msg, data, note);
    } else if (dg == DG_IMAGE && dat == DAT_IMAGEINFO && msg == MSG_GET) {
        rc = imageInfo(static_cast<TW_IMAGEINFO*>(data));
    } else if (dg == DG_IMAGE && dat == DAT_IMAGEMEMXFER && msg == MSG_GET) {
        rc = memoryStrip(static_cast<TW_IMAGEMEMXFER*>(data), note);
    } else if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER && msg == MSG_GET) {
        rc = nativeImage(data);
    } else {
        rc = fail(TWCC_BADPROTOCOL);
    }
    // Asking for the identity before opening and for the status are not journalled.
    const bool quiet = (dat == DAT_IDENTITY && msg == MSG_GET) || dat == DAT_STATUS;
    if (!quiet) {
        std::string line = platform::twain::tripletName(dg, dat, msg) + note + " -> " + std::to_string(rc);
        if (rc == TWRC_FAILURE) line += " (" + std::to_string(s.condition) + ")";
        journal(line + " state " + std::to_string(s.state));
    }
    return rc;
}

STANDIN_EXPORT BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_source.module = reinterpret_cast<HMODULE>(instance);
    return TRUE;
}
