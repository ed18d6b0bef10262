// Removing what Plug and Play left of the product: its OEM INF files, found by a model line in them,
// its device nodes, found by the identifier prefixes of "SetupCFG.xml", and its USB devices; and
// marking its printer devices for reinstallation.
#pragma once

#include <string>
#include <string_view>

#include "SetupConfig.h"

namespace uninstall {

// UninstallOemInf's answers.
inline constexpr int kOemInfSearched = 0;
inline constexpr int kOemInfNoneFound = 3;

// Uninstalls every "oem*.inf" of the INF folder whose line `modelKey` in one of the sections
// "Zandrel", "Zandrel.NTx86", "Printer", "Printer.NTx86" (searched in that order, each with a fresh
// search) has exactly `expectedValue` on its right. kOemInfNoneFound when a section's search finds no
// INF at all (the later sections are not searched). An empty key or value does nothing: every INF
// without the line would match it. The INF folder's attributes are kept.
int UninstallOemInf(std::u16string_view modelKey, std::u16string_view expectedValue);

// UninstallUsbDevices' answers.
inline constexpr int kUsbNotWalked = 0;
inline constexpr int kUsbWalked = 1;
// DeleteScannerDevices' and DeletePrintDevices' answers.
inline constexpr int kDevicesWalked = 0;
inline constexpr int kDevicesNotWalked = 2;

// Uninstalls, through "newdev.dll", every device whose instance id a USB/USB_Info text begins
// (ASCII letters compared in one case). kUsbNotWalked when the library ("LoadLibrary fail" in a box
// without owner), its entry point or the device set is missing; a failing uninstallation ends the walk
// ("faile error %d") with the devices after it left installed.
int UninstallUsbDevices(const SetupConfig& config = setupConfig());
// Whether a USB/USB_Info text (the first 30 entries, each cut to 129 characters) begins `deviceId`;
// `id` gets the "ID" of the last matching entry (cut to 129 characters) and is untouched without one.
bool FindUsbInfoForDevice(std::u16string_view deviceId, std::u16string& id, const SetupConfig& config = setupConfig());
// Removes every device below the enumerator "USB" that a ScannerHID/ScannerInfo text begins.
// `key` is not used. kDevicesNotWalked when the device set cannot be made.
int DeleteScannerDevices(std::u16string_view key, const SetupConfig& config = setupConfig());
// Removes every device below "USBPRINT" that a DEVICEFLAG/Flag text begins: every text of the list for
// an empty key, the text under that key otherwise. kDevicesNotWalked when the key names no text
// ("atchDrvHID is NULL_CONTEXT") or the device set cannot be made.
int DeletePrintDevices(std::u16string_view key, const SetupConfig& config = setupConfig());
// Sets CONFIGFLAG_REINSTALL on every device the enumerator (or device instance id) selects; a device
// without ConfigFlags is passed over, a failing read or write ends the walk. An empty argument does
// nothing (it would select every device of the machine).
void SetDeviceProperty(std::u16string_view enumerator);

}  // namespace uninstall
