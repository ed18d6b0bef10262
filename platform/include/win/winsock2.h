// Winsock 2 over the host's sockets: start-up, name resolution of numeric hosts and services, datagram
// sockets with a receive time-out. Constants and address records are Windows' (AF_INET6 is 23, the
// family inside an address too); the layer converts them for the host. The C library has functions of
// the same names, so this header maps each Windows name to a symbol of the layer's own and shows no
// Linux header. Left out: overlapped and event-driven I/O, stream sockets' connect/accept, select,
// socket options other than SO_RCVTIMEO, and the host database beyond what getaddrinfo resolves.
#pragma once

#include <cstddef>

#include "win/base.h"

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET (~static_cast<SOCKET>(0))
#define SOCKET_ERROR (-1)

// Constants under the layer's own names; the Windows names follow below.
constexpr int PlatformWs_AF_UNSPEC = 0;
constexpr int PlatformWs_AF_INET = 2;
constexpr int PlatformWs_AF_INET6 = 23;
constexpr int PlatformWs_SOCK_STREAM = 1;
constexpr int PlatformWs_SOCK_DGRAM = 2;
constexpr int PlatformWs_IPPROTO_TCP = 6;
constexpr int PlatformWs_IPPROTO_UDP = 17;
constexpr int PlatformWs_AI_PASSIVE = 0x01;
constexpr int PlatformWs_AI_CANONNAME = 0x02;
constexpr int PlatformWs_AI_NUMERICHOST = 0x04;
constexpr int PlatformWs_SOL_SOCKET = 0xFFFF;
constexpr int PlatformWs_SO_RCVTIMEO = 0x1006;  // a DWORD of milliseconds; 0: wait as long as it takes

// Winsock's error codes (WSAGetLastError, getaddrinfo's result).
#define WSA_NOT_ENOUGH_MEMORY 8
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEDESTADDRREQ 10039
#define WSAEMSGSIZE 10040
#define WSAEPROTOTYPE 10041
#define WSAENOPROTOOPT 10042
#define WSAEPROTONOSUPPORT 10043
#define WSAESOCKTNOSUPPORT 10044
#define WSAEOPNOTSUPP 10045
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSASYSNOTREADY 10091
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSATYPE_NOT_FOUND 10109
#define WSASYSCALLFAILURE 10107
#define WSAHOST_NOT_FOUND 11001
#define WSATRY_AGAIN 11002
#define WSANO_RECOVERY 11003

#ifndef MAKEWORD
#define MAKEWORD(low, high) static_cast<WORD>((static_cast<BYTE>(low)) | (static_cast<WORD>(static_cast<BYTE>(high)) << 8))
#endif

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
// The 64-bit layout of the start-up record.
struct PlatformWsaData {
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
};

struct PlatformSockAddr {
    USHORT sa_family;
    char sa_data[14];
};
struct PlatformInAddr {
    BYTE s_b[4];  // network order
};
struct PlatformSockAddrIn {
    short sin_family;
    USHORT sin_port;  // network order
    PlatformInAddr sin_addr;
    char sin_zero[8];
};
struct PlatformIn6Addr {
    union {
        BYTE Byte[16];
        USHORT Word[8];
    } u;
};
struct PlatformSockAddrIn6 {
    short sin6_family;
    USHORT sin6_port;  // network order
    ULONG sin6_flowinfo;
    PlatformIn6Addr sin6_addr;
    ULONG sin6_scope_id;
};
static_assert(sizeof(PlatformSockAddrIn6) == 28);

struct PlatformAddrInfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    PlatformSockAddr* ai_addr;
    PlatformAddrInfo* ai_next;
};

// The layer's own source sees its names; everyone else sees Windows'.
#ifndef PLATFORM_WINSOCK_OWN_NAMES
#define AF_UNSPEC PlatformWs_AF_UNSPEC
#define AF_INET PlatformWs_AF_INET
#define AF_INET6 PlatformWs_AF_INET6
#define SOCK_STREAM PlatformWs_SOCK_STREAM
#define SOCK_DGRAM PlatformWs_SOCK_DGRAM
#define IPPROTO_TCP PlatformWs_IPPROTO_TCP
#define IPPROTO_UDP PlatformWs_IPPROTO_UDP
#define AI_PASSIVE PlatformWs_AI_PASSIVE
#define AI_CANONNAME PlatformWs_AI_CANONNAME
#define AI_NUMERICHOST PlatformWs_AI_NUMERICHOST
#define SOL_SOCKET PlatformWs_SOL_SOCKET
#define SO_RCVTIMEO PlatformWs_SO_RCVTIMEO
#define s6_addr u.Byte
#define WSADATA PlatformWsaData
#define LPWSADATA PlatformWsaData*
#define sockaddr PlatformSockAddr
#define SOCKADDR PlatformSockAddr
#define in_addr PlatformInAddr
#define sockaddr_in PlatformSockAddrIn
#define SOCKADDR_IN PlatformSockAddrIn
#define in6_addr PlatformIn6Addr
#define sockaddr_in6 PlatformSockAddrIn6
#define SOCKADDR_IN6 PlatformSockAddrIn6
#define addrinfo PlatformAddrInfo
#define ADDRINFOA PlatformAddrInfo
#define PADDRINFOA PlatformAddrInfo*
#define WSAStartup PlatformWs_WSAStartup
#define WSACleanup PlatformWs_WSACleanup
#define WSAGetLastError PlatformWs_WSAGetLastError
#define getaddrinfo PlatformWs_getaddrinfo
#define freeaddrinfo PlatformWs_freeaddrinfo
#define socket PlatformWs_socket
#define sendto PlatformWs_sendto
#define setsockopt PlatformWs_setsockopt
#define recvfrom PlatformWs_recvfrom
#define closesocket PlatformWs_closesocket
#endif

// Version 2.2 (or any 2.x and up, answered as 2.2); each successful call needs a WSACleanup. Below
// 2.0: WSAVERNOTSUPPORTED.
WINBASEAPI int WINAPI PlatformWs_WSAStartup(WORD version, PlatformWsaData* data);
// SOCKET_ERROR with WSANOTINITIALISED when there was no start-up to end.
WINBASEAPI int WINAPI PlatformWs_WSACleanup();
// The calling thread's last error (the same as GetLastError).
WINBASEAPI int WINAPI PlatformWs_WSAGetLastError();
// Resolves a host and a service with the host resolver (AF_INET, AF_INET6 or AF_UNSPEC hints); the
// list holds Windows address records. Returns 0 or a Winsock error code. Fault switch "getaddrinfo"
// (WSAHOST_NOT_FOUND by default).
WINBASEAPI int WINAPI PlatformWs_getaddrinfo(const char* node, const char* service, const PlatformAddrInfo* hints,
                                           PlatformAddrInfo** result);
WINBASEAPI void WINAPI PlatformWs_freeaddrinfo(PlatformAddrInfo* list);
// Fault switch "socket" (INVALID_SOCKET, WSAEMFILE by default).
WINBASEAPI SOCKET WINAPI PlatformWs_socket(int family, int type, int protocol);
// One datagram to the address. Fault switch "sendto" (SOCKET_ERROR, WSAENETUNREACH by default).
WINBASEAPI int WINAPI PlatformWs_sendto(SOCKET s, const char* buffer, int length, int flags, const PlatformSockAddr* to,
                                      int toLength);
// SOL_SOCKET / SO_RCVTIMEO only (WSAENOPROTOOPT otherwise). Fault switch "setsockopt" (SOCKET_ERROR,
// WSAEINVAL by default).
WINBASEAPI int WINAPI PlatformWs_setsockopt(SOCKET s, int level, int option, const char* value, int length);
// One datagram into the buffer, its sender into `from` (if given). Waits on the machine clock up to the
// receive time-out (WSAETIMEDOUT), polling in rounds as the waits do, so virtual time moves. A datagram
// longer than the buffer fills it and fails with WSAEMSGSIZE (the rest is lost). Fault switch
// "recvfrom" (SOCKET_ERROR, WSAECONNRESET by default).
WINBASEAPI int WINAPI PlatformWs_recvfrom(SOCKET s, char* buffer, int length, int flags, PlatformSockAddr* from,
                                        int* fromLength);
WINBASEAPI int WINAPI PlatformWs_closesocket(SOCKET s);
