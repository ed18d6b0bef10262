// The device set-up interface over the machine's device tree: sets of devices and their device
// interfaces, instance ids and interface paths. Device properties, setup classes, drivers and
// installation are not modelled yet; a set is a picture of the tree taken when it is made.
#pragma once

#include "win/base.h"
#include "win/com.h"

typedef void* HDEVINFO;

#ifndef ERROR_INVALID_COMPUTERNAME
#define ERROR_INVALID_COMPUTERNAME 1210L
#endif
// The device-installation library's own errors.
#define ERROR_NO_SUCH_DEVINST 0xE000020BL
#define ERROR_DI_DO_DEFAULT 0xE000020EL

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

// The USB printing device interface class that the USB print driver registers its ports under.
inline constexpr GUID GUID_DEVINTERFACE_USBPRINT = {0x28d78fad, 0x5a12, 0x11d1,
                                                     {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// The printer setup class.
inline constexpr GUID GUID_DEVCLASS_PRINTER = {0x4d36e979, 0xe325, 0x11ce,
                                                {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

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

// The devices of the tree with an interface of the class (DIGCF_DEVICEINTERFACE), of the setup class
// (a class alone) or every device (DIGCF_ALLCLASSES, which ignores the class); DIGCF_PRESENT keeps
// only present ones. An enumerator selects the instance ids equal to it or below it: "USB", a device
// id ("USBPRINT\ZANDRELM2100A1B2", all its instances) or a full instance id; one that no device of the
// tree has gives ERROR_INVALID_DATA. No class and no DIGCF_ALLCLASSES gives ERROR_INVALID_FLAGS.
// Fault switch "SetupDiGetClassDevsW".
WINBASEAPI HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent,
                                                DWORD flags);
// The same for the local machine only (no machine name, or an empty one; any other gives
// ERROR_INVALID_COMPUTERNAME); adding to an existing set is not modelled (ERROR_INVALID_PARAMETER).
// Fault switch "SetupDiGetClassDevsExW".
WINBASEAPI HDEVINFO WINAPI SetupDiGetClassDevsExW(const GUID* classGuid, LPCWSTR enumerator, HWND parent,
                                                  DWORD flags, HDEVINFO existing, LPCWSTR machineName,
                                                  PVOID reserved);

#define SP_MAX_MACHINENAME_LENGTH (MAX_PATH + 3)
struct SP_DEVINFO_LIST_DETAIL_DATA_W {
    DWORD cbSize;
    GUID ClassGuid;
    HANDLE RemoteMachineHandle;
    WCHAR RemoteMachineName[SP_MAX_MACHINENAME_LENGTH];
};
typedef SP_DEVINFO_LIST_DETAIL_DATA_W* PSP_DEVINFO_LIST_DETAIL_DATA_W;
// The set's machine: a local set has no machine handle and an empty name (cbSize checked:
// ERROR_INVALID_USER_BUFFER). Fault switch "SetupDiGetDeviceInfoListDetailW".
WINBASEAPI BOOL WINAPI SetupDiGetDeviceInfoListDetailW(HDEVINFO set, PSP_DEVINFO_LIST_DETAIL_DATA_W detail);
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
typedef UINT DI_FUNCTION;
#define DIF_REMOVE 0x00000005
// DIF_REMOVE takes the device out of the tree (journalled: the function and the instance id); a device
// already gone gives ERROR_NO_SUCH_DEVINST, any other function ERROR_DI_DO_DEFAULT. The set keeps
// its picture. Fault switch "SetupDiCallClassInstaller" (detail: the instance id).
WINBASEAPI BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device);

#define SPDRP_CONFIGFLAGS 0x0000000A
#define CONFIGFLAG_REINSTALL 0x00000020
// A device property as the tree has it now; only SPDRP_CONFIGFLAGS (REG_DWORD) is modelled, any other
// and a device without it give ERROR_INVALID_DATA. A buffer too small gives ERROR_INSUFFICIENT_BUFFER
// with the bytes needed. Fault switch "SetupDiGetDeviceRegistryPropertyW".
WINBASEAPI BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                         PDWORD valueType, PBYTE buffer, DWORD size,
                                                         PDWORD required);
// Writes SPDRP_CONFIGFLAGS (4 bytes, else ERROR_INVALID_DATA) into the tree, journalled; fault switch
// "SetupDiSetDeviceRegistryPropertyW" (detail: the instance id).
WINBASEAPI BOOL WINAPI SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                         const BYTE* buffer, DWORD size);

// Releases a set; fault switch "SetupDiDestroyDeviceInfoList" (the set stays).
WINBASEAPI BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);

// ---- OEM INF files ---------------------------------------------------------------------------------
#define SUOI_FORCEDELETE 0x00000001
// Uninstalls an OEM INF of the Windows INF folder by its file name ("oem3.inf"): the INF and its
// ".PNF" go; a missing INF gives ERROR_FILE_NOT_FOUND. The tree does not record which INF installed a
// device, so no INF is refused as in use and the flags are not looked at. Exported by "setupapi.dll";
// journalled; fault switch "SetupUninstallOEMInfW" (detail: the name).
WINBASEAPI BOOL WINAPI SetupUninstallOEMInfW(LPCWSTR infFileName, DWORD flags, PVOID reserved);

// ---- Configuration manager -------------------------------------------------------------------------
// A device node's number (SP_DEVINFO_DATA::DevInst) names one instance id for the life of the process.
typedef DWORD DEVINST;
typedef DEVINST* PDEVINST;
typedef DWORD CONFIGRET;
typedef HANDLE HMACHINE;
typedef LPWSTR DEVINSTID_W;

#define CR_SUCCESS 0x00000000
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_FAILURE 0x00000013
#define CR_BUFFER_SMALL 0x0000001A
#define CR_INVALID_MACHINENAME 0x0000002F

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001
#define CM_REENUMERATE_NORMAL 0x00000000

// The node's instance id with its NUL; a buffer of fewer characters gives CR_BUFFER_SMALL, a node no
// longer in the tree CR_NO_SUCH_DEVNODE, a machine handle other than none (the local machine)
// CR_INVALID_MACHINENAME. Fault switch "CM_Get_Device_ID_ExW" (CR_FAILURE by default).
WINBASEAPI CONFIGRET WINAPI CM_Get_Device_ID_ExW(DEVINST node, LPWSTR buffer, ULONG length, ULONG flags,
                                                 HMACHINE machine);
// The node of an instance id (none or empty: the root, "HTREE\ROOT\0"); a device not in the tree, or
// not present without CM_LOCATE_DEVNODE_PHANTOM, gives CR_NO_SUCH_DEVNODE. Journalled; fault switch
// "CM_Locate_DevNodeW".
WINBASEAPI CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST node, DEVINSTID_W id, ULONG flags);
// Asks the node to look for new hardware: the tree does not change; journalled with the node's id;
// fault switch "CM_Reenumerate_DevNode".
WINBASEAPI CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST node, ULONG flags);

// ---- "newdev.dll" (there from version 6.1 on) ------------------------------------------------------
// Uninstalls the device: it goes from the tree; journalled with the instance id; no restart is needed.
// Fault switch "DiUninstallDevice" (ERROR_ACCESS_DENIED by default; detail: the instance id).
WINBASEAPI BOOL WINAPI DiUninstallDevice(HWND parent, HDEVINFO set, PSP_DEVINFO_DATA device, DWORD flags,
                                         LPBOOL needReboot);
