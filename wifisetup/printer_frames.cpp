// The printer's command frames: built, written to the USB print interface and their replies read.
#include "printer_frames.h"

#include <algorithm>
#include <cstring>

#include "afx/afxres.h"
#include "usb_port.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/resources.h"

namespace {

const char kUniversalExit[] = "\x1B%-12345X";
// Room the printer's firmware needs between taking a frame and answering it.
constexpr DWORD kReplyWait = 200;
constexpr size_t kReplyLength = 16;
constexpr size_t kQueryBodyLength = 240;
constexpr UINT kNoSecurityText = 156;

// The text in the thread's ANSI code page, cut to `field - 1` bytes and NUL-terminated in the field.
void putAnsi(const std::u16string& text, char* field, size_t fieldSize) {
    std::memset(field, 0, fieldSize);
    if (text.empty()) return;
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (length <= 0) return;
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(), length, nullptr, nullptr);
    std::memcpy(field, ansi.data(), std::min(ansi.size(), fieldSize - 1));
}

bool isUsbPort(const std::u16string& port) { return port.size() >= 3 && port.compare(0, 3, u"USB") == 0; }

// The printer's device for a frame, opened anew: nothing for an empty or non-USB port, a port no
// interface has, or a device that cannot be opened.
HANDLE openPrinterDevice(const std::u16string& port) {
    if (!isUsbPort(port)) return INVALID_HANDLE_VALUE;
    WCHAR path[MAX_PATH] = {};
    if (!GetUsbPortDevicePath(path, port.c_str())) return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Prefix, header, an optional record and trailer laid out in one block from LocalAlloc.
struct Frame {
    BYTE* bytes = nullptr;
    DWORD length = 0;
    Frame(const AclHeader& header, const void* record, size_t recordSize) {
        const std::string prefix = FramePrefix(), trailer = FrameTrailer();
        length = static_cast<DWORD>(prefix.size() + header.size() + recordSize + trailer.size());
        bytes = static_cast<BYTE*>(LocalAlloc(LPTR, length));
        if (!bytes) return;
        BYTE* at = std::copy(prefix.begin(), prefix.end(), bytes);
        at = std::copy(header.begin(), header.end(), at);
        if (recordSize) at = std::copy_n(static_cast<const BYTE*>(record), recordSize, at);
        std::copy(trailer.begin(), trailer.end(), at);
    }
    ~Frame() {
        if (bytes) LocalFree(bytes);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
};

}  // namespace

std::string FramePrefix() { return std::string(kUniversalExit) + "@PJL ENTER LANGUAGE=ACL\r\n"; }

std::string FrameTrailer() { return kUniversalExit; }

AclHeader BuildAclHeader(AclCommand command, uint8_t parameter0, uint8_t parameter1) {
    AclHeader header{};
    header[1] = 0xAC;
    header[2] = static_cast<uint8_t>(command & 0xFF);
    header[3] = static_cast<uint8_t>(command >> 8);
    header[4] = parameter0;
    header[5] = parameter1;
    return header;
}

SettingsRecord BuildSettingsRecord(const std::u16string& ssid, const std::u16string& password, int securityMode) {
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    putAnsi(ssid, record.ssid, sizeof record.ssid);
    record.securityMode = static_cast<uint8_t>(securityMode & 0xFF);
    if (securityMode == 2 || securityMode == 3) putAnsi(password, record.passphrase, sizeof record.passphrase);
    else if (securityMode == 1) putAnsi(password, record.wepKey, sizeof record.wepKey);
    return record;
}

bool IsSetReplyAccepted(const uint8_t* reply, size_t length) {
    if (!reply || length < 6 || length > kReplyLength) return false;
    if (reply[2] != 0xFF || reply[3] != 0x80) return false;
    return ((reply[4] << 8) | reply[5]) == 1;
}

std::string ReadQueryText(const uint8_t* body, size_t length, int selector) {
    const size_t offset = selector == 1 ? 48 : 0;
    const size_t field = selector == 1 ? 192 : 48;
    if (!body || length <= offset) return {};
    const size_t end = std::min(offset + field, length);
    const uint8_t* text = body + offset;
    const uint8_t* stop = std::find(text, body + end, 0);
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(stop - text));
}

bool SendWifiSettings(const std::u16string& ssid, const std::u16string& password, const std::u16string& portName,
                      int securityMode) {
    if (portName.empty()) return false;
    const SettingsRecord record = BuildSettingsRecord(ssid, password, securityMode);
    Frame frame(BuildAclHeader(kAclSetWifiSettings, 0x00, 0x00), &record, sizeof record);
    if (!frame.bytes) return false;
    HANDLE device = openPrinterDevice(portName);
    if (device == INVALID_HANDLE_VALUE) return false;
    bool accepted = false;
    DWORD written = 0;
    if (WriteFile(device, frame.bytes, frame.length, &written, nullptr)) {
        Sleep(kReplyWait);
        uint8_t reply[kReplyLength] = {};
        DWORD got = 0;
        if (ReadFile(device, reply, sizeof reply, &got, nullptr)) accepted = IsSetReplyAccepted(reply, got);
    }
    CloseHandle(device);
    return accepted;
}

void SendPrintWifiInfoPage(const std::u16string& portName) {
    HANDLE device = openPrinterDevice(portName);
    if (device == INVALID_HANDLE_VALUE) return;
    const std::string prefix = FramePrefix(), trailer = FrameTrailer();
    const AclHeader header = BuildAclHeader(kAclPrintWifiInfoPage, 0x00, 0x02);
    // Three writes, whatever each one returns.
    DWORD written = 0;
    WriteFile(device, prefix.data(), static_cast<DWORD>(prefix.size()), &written, nullptr);
    WriteFile(device, header.data(), static_cast<DWORD>(header.size()), &written, nullptr);
    WriteFile(device, trailer.data(), static_cast<DWORD>(trailer.size()), &written, nullptr);
    CloseHandle(device);
}

std::string QueryPrinterNetworkInfo(const std::u16string& portName, int selector) {
    uint8_t header[kReplyLength] = {};
    uint8_t body[kQueryBodyLength] = {};
    Frame frame(BuildAclHeader(kAclQueryNetworkInfo, 0x00, 0x02), nullptr, 0);
    if (!frame.bytes) return {};
    HANDLE device = openPrinterDevice(portName);
    if (device == INVALID_HANDLE_VALUE) return {};
    // Neither the write nor the reads are checked: a failed read leaves zeros.
    DWORD done = 0, bodyLength = 0;
    WriteFile(device, frame.bytes, frame.length, &done, nullptr);
    Sleep(kReplyWait);
    ReadFile(device, header, sizeof header, &done, nullptr);
    if (!ReadFile(device, body, sizeof body, &bodyLength, nullptr)) bodyLength = 0;
    CloseHandle(device);
    return ReadQueryText(body, bodyLength, selector);
}

void GetSecurityModeName(int securityMode, WCHAR* buffer) {
    constexpr int kBufferSize = 512;
    const char16_t* name = u"UNKNOWN";
    switch (securityMode) {
    case 0:
        if (LoadStringW(AfxGetResourceHandle(), kNoSecurityText, buffer, kBufferSize) <= 0) buffer[0] = 0;
        return;
    case 1: name = u"WEP"; break;
    case 2:
    case 3: name = u"WPA/WPA2"; break;
    case 4: name = u"WPA_ENTERPRISE"; break;
    case 5: name = u"WPA2_ENTERPRISE"; break;
    case 6: name = u"Security_Auto"; break;
    default: break;
    }
    const size_t length = std::min<size_t>(std::char_traits<char16_t>::length(name), kBufferSize - 1);
    std::copy_n(name, length, buffer);
    buffer[length] = 0;
}
