// The printer's USB print port: the port of the first supported printer on the cable, the busy test
// on its print queue and the way back from a port name to the device interface path.
#pragma once

#include <string>

#include "startup.h"
#include "win/base.h"

// The "USB%03d" port of the first of the first six USB printing devices whose instance id begins with
// a key of the table (without regard to case); that device decides even when it has no port. Empty
// text when none matches or a device query fails.
std::u16string FindPrinterUsbPort(const IniTable& keys);
std::u16string FindPrinterUsbPort();
// Whether the first print queue on that port has a job (false when there is no port, no queue on it,
// or the printers cannot be listed).
bool IsPrintPortBusy(const IniTable& keys);
bool IsPrintPortBusy();
// Fills `path` (260 characters) with the interface path, as the system reports it, of the USB printing
// interface whose port formats to `portName` (compared without regard to case). On no match the buffer
// is left empty and the result is false.
bool GetUsbPortDevicePath(WCHAR* path, const WCHAR* portName);
