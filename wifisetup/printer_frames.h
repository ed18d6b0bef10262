// The command frames the utility writes to the printer over its USB print interface (set the Wi-Fi
// settings, print the Wi-Fi information page, query the network information), their replies, and
// the display names of the security modes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "win/base.h"

// Escape "%-12345X" (PJL's Universal Exit Language), then "@PJL ENTER LANGUAGE=ACL" and CR LF.
std::string FramePrefix();
// The Universal Exit Language again.
std::string FrameTrailer();

enum AclCommand : uint16_t {
    kAclSetWifiSettings = 0x80FF,   // bytes FF 80
    kAclPrintWifiInfoPage = 0x84FF, // bytes FF 84
    kAclQueryNetworkInfo = 0x0FFF,  // bytes FF 0F
};
// 00 AC, the command word little-endian, two parameter bytes, ten zeros.
using AclHeader = std::array<uint8_t, 16>;
AclHeader BuildAclHeader(AclCommand command, uint8_t parameter0, uint8_t parameter1);

#pragma pack(push, 1)
struct SettingsRecord {
    char ssid[33];        // ANSI, at most 32 bytes and a NUL
    uint8_t securityMode; // the low byte of the mode code
    char passphrase[65];  // WPA (modes 2 and 3): at most 64 bytes and a NUL
    uint8_t reserved99;
    char wepKey[27];      // WEP (mode 1): at most 26 bytes and a NUL
    uint8_t reserved127[81];
};
#pragma pack(pop)
static_assert(sizeof(SettingsRecord) == 208);
static_assert(offsetof(SettingsRecord, securityMode) == 33 && offsetof(SettingsRecord, passphrase) == 34 &&
              offsetof(SettingsRecord, reserved99) == 99 && offsetof(SettingsRecord, wepKey) == 100 &&
              offsetof(SettingsRecord, reserved127) == 127);
// The record for a network, each text in the thread's ANSI code page, cut silently to its field.
SettingsRecord BuildSettingsRecord(const std::u16string& ssid, const std::u16string& password, int securityMode);

// The set reply: bytes 2 and 3 echo FF 80 and bytes 4 and 5 hold status 1 (big-endian). Any other
// bytes, fewer than 6 or more than 16, are "not accepted".
bool IsSetReplyAccepted(const uint8_t* reply, size_t length);
// A text of the query reply's 240-byte body: the IPv4 address at offset 0 (selector other than 1,
// read within 48 bytes) or the second address at offset 48 (selector 1, within 192), up to its NUL
// or the end of its field or of the bytes given.
std::string ReadQueryText(const uint8_t* body, size_t length, int selector);

// Sends the set frame to the printer on the port; true only when it accepted the settings.
bool SendWifiSettings(const std::u16string& ssid, const std::u16string& password, const std::u16string& portName,
                      int securityMode);
// Sends the print-information-page frame (three writes; nothing is read).
void SendPrintWifiInfoPage(const std::u16string& portName);
// Queries the printer's network information and returns one of its two address texts; empty text
// when the port is not a USB port or the device cannot be opened.
std::string QueryPrinterNetworkInfo(const std::u16string& portName, int selector);

// The display name of a security mode code into `buffer` (512 characters): string 156 of the
// resources for 0, "UNKNOWN" for codes outside the table.
void GetSecurityModeName(int securityMode, WCHAR* buffer);
