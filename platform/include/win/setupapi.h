// The device set-up interface over the machine's device tree: sets of devices and their device
// interfaces, instance ids and interface paths. Device properties, setup classes, drivers and
// installation are not modelled yet; a set is a picture of the tree taken when it is made.
#pragma once

#include "win/base.h"
#include "win/com.h"

typedef void* HDEVINFO;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

// The USB printing device interface class that the USB print driver registers its ports under.
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT = {0x28d78fad, 0x5a12, 0x11d1,
                                                     {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
typedef SP_DEVICE_INTERFACE_DATA* PSP_DEVICE_INTERFACE_DATA;

#define SPINT_ACTIVE 0x00000001

// The fixed part is 6 bytes in a 32-bit program and 8 in a 64-bit one; the path starts at offset 4 in
// both. A detail record's cbSize must be one of the two.
struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[1];
};
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_W* PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

// The devices of the tree with an interface of the class (DIGCF_DEVICEINTERFACE) or every device
// (DIGCF_ALLCLASSES); DIGCF_PRESENT keeps only present ones, an enumerator ("USB") only instance ids
// below it. Other selections give ERROR_INVALID_FLAGS. Fault switch "SetupDiGetClassDevsW".
WINBASEAPI HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent,
                                                DWORD flags);
// The set's device at an index (ERROR_NO_MORE_ITEMS past the end); fault switch "SetupDiEnumDeviceInfo".
WINBASEAPI BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device);
// The device's instance id (ERROR_INSUFFICIENT_BUFFER with the size needed in characters, the NUL
// included); fault switch "SetupDiGetDeviceInstanceIdW".
WINBASEAPI BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, LPWSTR id, DWORD size,
                                                   LPDWORD required);
// The interface of the class at an index, of one device or (no device) of the whole set;
// fault switch "SetupDiEnumDeviceInterfaces".
WINBASEAPI BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA device, const GUID* classGuid,
                                                   DWORD index, PSP_DEVICE_INTERFACE_DATA deviceInterface);
// The interface's path: no record asks for the size (ERROR_INSUFFICIENT_BUFFER with the bytes needed);
// a record whose cbSize is neither 6 nor 8 gives ERROR_INVALID_USER_BUFFER. Fault switch
// "SetupDiGetDeviceInterfaceDetailW".
WINBASEAPI BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA deviceInterface,
                                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                        LPDWORD required, PSP_DEVINFO_DATA device);
// Releases a set; fault switch "SetupDiDestroyDeviceInfoList" (the set stays).
WINBASEAPI BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);

// ---- OEM INF files ---------------------------------------------------------------------------------
#define SUOI_FORCEDELETE 0x00000001
// Uninstalls an OEM INF of the Windows INF folder by its file name ("oem3.inf"): the INF and its
// ".PNF" go; a missing INF gives ERROR_FILE_NOT_FOUND. The tree does not record which INF installed a
// device, so no INF is refused as in use and the flags are not looked at. Exported by "setupapi.dll";
// journalled; fault switch "SetupUninstallOEMInfW" (detail: the name).
WINBASEAPI BOOL WINAPI SetupUninstallOEMInfW(LPCWSTR infFileName, DWORD flags, PVOID reserved);
