// The still-image interface as the scan-button program uses it: StiCreateInstance (exported by the
// layer's "sti.dll"), the launch information of a program the still-image service started for a
// device's event, and the values of the machine's still-image devices.
//
// The machine's devices: a still-image device named "<class GUID>\<instance>" (as the service names
// them, e.g. "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\0000") keeps its values in the registry key
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\<device name>\DeviceData. A device's event
// starts its program with the command line "<program> /StiDevice:<device name> /StiEvent:<event GUID>";
// so a test or a person presses a scanner's button by writing the device's values (the push command
// in "EventData", the device path in "DevicePath") and starting the program so.
#pragma once

#include "win/base.h"
#include "win/com.h"

#ifndef ERROR_NOT_FOUND
#define ERROR_NOT_FOUND 1168L
#endif

#define STI_VERSION_REAL 0x00000002
#define STI_VERSION_FLAG_UNICODE 0x01000000
#define STI_VERSION (STI_VERSION_REAL | STI_VERSION_FLAG_UNICODE)
// Characters of a device name and of an event name, with the terminator.
#define STI_MAX_INTERNAL_NAME_LENGTH 128
// The still-image class of devices, and the registry folder of the machine's device keys.
#define STI_DEVICE_CLASS_KEY u"SYSTEM\\CurrentControlSet\\Control\\Class"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IStillImageW : IUnknown {
    // A value of a device: its type and bytes; `size` in: the buffer's bytes, out: the value's.
    // HRESULT_FROM_WIN32 of ERROR_FILE_NOT_FOUND for an unknown device or value, of ERROR_MORE_DATA
    // (with the size needed) for a small buffer; E_POINTER for a missing argument.
    virtual HRESULT GetDeviceValue(LPWSTR deviceName, LPWSTR valueName, LPDWORD type, LPBYTE data, LPDWORD size) = 0;
    // The device and event that started this program, from its command line ("/StiDevice:" and
    // "/StiEvent:", any case): the device name, the event code (always 0: events go by their GUID)
    // and the event's GUID text, into buffers of STI_MAX_INTERNAL_NAME_LENGTH characters.
    // HRESULT_FROM_WIN32(ERROR_NOT_FOUND) when the program was not started for an event.
    virtual HRESULT GetSTILaunchInformation(LPWSTR deviceName, LPDWORD eventCode, LPWSTR eventName) = 0;
};
#pragma GCC diagnostic pop
typedef IStillImageW IStillImage;
typedef IStillImageW* PSTIW;

WINBASEAPI const IID IID_IStillImageW;

// A still-image object with one reference for the caller. E_POINTER without `object`,
// CLASS_E_NOAGGREGATION with an outer object, E_INVALIDARG for a version other than STI_VERSION_REAL
// (with or without the wide-text flag). Fault switch "StiCreateInstance" answers E_FAIL.
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
WINBASEAPI HRESULT WINAPI StiCreateInstance(HINSTANCE instance, DWORD version, IStillImageW** object, IUnknown* outer);
