// Services: the machine's service control manager. Services are the machine's (every process sees
// the same), named without regard to case; their states, wait hints, check points and pending phases
// run in machine time as tests script them (platform::installService). A fresh machine has "Spooler"
// and "stisvc" running, and "WiaRpc" running, which depends on "stisvc". Nothing runs on the host.
// Left out: creating, deleting and configuring services, service types and start types, security.
#pragma once

#include "win/base.h"

DECLARE_HANDLE(SC_HANDLE);
typedef SC_HANDLE* LPSC_HANDLE;

#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_ALL_ACCESS 0xF003F

#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_ALL_ACCESS 0xF01FF

#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004

#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_INTERROGATE 0x00000004

#define SERVICE_ACTIVE 0x00000001
#define SERVICE_INACTIVE 0x00000002
#define SERVICE_STATE_ALL 0x00000003

#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_ACCEPT_STOP 0x00000001

#define ERROR_DEPENDENT_SERVICES_RUNNING 1051L
#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053L
#define ERROR_SERVICE_ALREADY_RUNNING 1056L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061L
#define ERROR_SERVICE_NOT_ACTIVE 1062L

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef SERVICE_STATUS* LPSERVICE_STATUS;
struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};
typedef SERVICE_STATUS_PROCESS* LPSERVICE_STATUS_PROCESS;
enum SC_STATUS_TYPE { SC_STATUS_PROCESS_INFO = 0 };
struct ENUM_SERVICE_STATUSW {
    LPWSTR lpServiceName;
    LPWSTR lpDisplayName;
    SERVICE_STATUS ServiceStatus;
};
typedef ENUM_SERVICE_STATUSW* LPENUM_SERVICE_STATUSW;

// The local manager (another machine's name: ERROR_INVALID_PARAMETER). Fault switch "OpenSCManagerW".
WINBASEAPI SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD access);
// ERROR_SERVICE_DOES_NOT_EXIST for an unknown name. Fault switch "OpenServiceW" (detail: the name).
WINBASEAPI SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD access);
WINBASEAPI BOOL WINAPI CloseServiceHandle(SC_HANDLE handle);
// Both need SERVICE_QUERY_STATUS. One fault switch, "QueryServiceStatus" (detail: the name).
WINBASEAPI BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
WINBASEAPI BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD size,
                                            LPDWORD needed);
// SERVICE_CONTROL_STOP (needs SERVICE_STOP): a running service goes into its stopping phase;
// ERROR_SERVICE_NOT_ACTIVE when stopped, ERROR_SERVICE_CANNOT_ACCEPT_CTRL while pending,
// ERROR_DEPENDENT_SERVICES_RUNNING while a dependent is active. SERVICE_CONTROL_INTERROGATE answers the
// status. Journalled. Fault switch "ControlService" (detail: the name).
WINBASEAPI BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
// Needs SERVICE_START; a stopped service goes into its starting phase (stopped services it depends on
// start at once); ERROR_SERVICE_ALREADY_RUNNING otherwise. Arguments are ignored. Journalled. Fault
// switch "StartServiceW" (detail: the name).
WINBASEAPI BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments);
// The services that depend on this one, directly or not (those further away first), in the states
// asked for; needs SERVICE_ENUMERATE_DEPENDENTS. A buffer too small gives ERROR_MORE_DATA with the
// bytes needed. Fault switch "EnumDependentServicesW" (detail: the name).
WINBASEAPI BOOL WINAPI EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSW services,
                                              DWORD size, LPDWORD needed, LPDWORD returned);
