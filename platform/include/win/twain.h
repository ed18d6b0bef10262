// TWAIN: the types, constants and entry points that the scan application, the data source manager
// and data sources exchange. Written from the published tables for what our modules use; structures
// are packed to two bytes as the standard lays them out. Left out: every triplet, capability and
// structure no module of ours sends or answers.
#pragma once

#include "win/base.h"

typedef uint8_t TW_UINT8;
typedef int16_t TW_INT16;
typedef uint16_t TW_UINT16;
typedef int32_t TW_INT32;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL;
typedef void* TW_MEMREF;
typedef void* TW_HANDLE;
typedef uintptr_t TW_UINTPTR;
typedef char TW_STR32[34];  // 32 characters, NUL and a pad byte

#pragma pack(push, 2)

struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};
typedef TW_IDENTITY* pTW_IDENTITY;

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
};

struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 Reserved;
};

struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};

struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
};

struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
};

// RefCon holds a pointer here (the standard's 32-bit field cannot on a 64-bit build).
struct TW_CALLBACK {
    TW_MEMREF CallBackProc;
    TW_UINTPTR RefCon;
    TW_INT16 Message;
};

#pragma pack(pop)

static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY is 156 bytes");
static_assert(sizeof(TW_ONEVALUE) == 6, "a one-value container is 6 bytes");
static_assert(sizeof(TW_IMAGEINFO) == 42, "TW_IMAGEINFO is 42 bytes");

// Data groups.
#define DG_CONTROL 0x0001L
#define DG_IMAGE 0x0002L

// Data argument types.
#define DAT_NULL 0x0000
#define DAT_CAPABILITY 0x0001
#define DAT_EVENT 0x0002
#define DAT_IDENTITY 0x0003
#define DAT_PARENT 0x0004
#define DAT_PENDINGXFERS 0x0005
#define DAT_SETUPMEMXFER 0x0006
#define DAT_STATUS 0x0008
#define DAT_USERINTERFACE 0x0009
#define DAT_CALLBACK 0x0010
#define DAT_IMAGEINFO 0x0101
#define DAT_IMAGEMEMXFER 0x0103
#define DAT_IMAGENATIVEXFER 0x0104

// Messages.
#define MSG_GET 0x0001
#define MSG_GETCURRENT 0x0002
#define MSG_GETDEFAULT 0x0003
#define MSG_GETFIRST 0x0004
#define MSG_GETNEXT 0x0005
#define MSG_SET 0x0006
#define MSG_RESET 0x0007
#define MSG_XFERREADY 0x0101
#define MSG_CLOSEDSREQ 0x0102
#define MSG_CLOSEDSOK 0x0103
#define MSG_OPENDSM 0x0301
#define MSG_CLOSEDSM 0x0302
#define MSG_OPENDS 0x0401
#define MSG_CLOSEDS 0x0402
#define MSG_USERSELECT 0x0403
#define MSG_DISABLEDS 0x0501
#define MSG_ENABLEDS 0x0502
#define MSG_ENDXFER 0x0701
#define MSG_REGISTER_CALLBACK 0x0902

// Return codes.
#define TWRC_SUCCESS 0
#define TWRC_FAILURE 1
#define TWRC_CHECKSTATUS 2
#define TWRC_CANCEL 3
#define TWRC_DSEVENT 4
#define TWRC_NOTDSEVENT 5
#define TWRC_XFERDONE 6
#define TWRC_ENDOFLIST 7

// Condition codes.
#define TWCC_SUCCESS 0
#define TWCC_BUMMER 1
#define TWCC_LOWMEMORY 2
#define TWCC_NODS 3
#define TWCC_OPERATIONERROR 5
#define TWCC_BADCAP 6
#define TWCC_BADPROTOCOL 9
#define TWCC_BADVALUE 10
#define TWCC_SEQERROR 11
#define TWCC_BADDEST 12
#define TWCC_CAPUNSUPPORTED 13

// Containers and item types.
#define TWON_ONEVALUE 5
#define TWON_DONTCARE16 0xFFFF
#define TWTY_INT16 0x0001
#define TWTY_UINT16 0x0004
#define TWTY_BOOL 0x0006

// Capabilities.
#define CAP_XFERCOUNT 0x0001

// Memory transfer flags.
#define TWMF_APPOWNS 0x0001
#define TWMF_DSMOWNS 0x0002
#define TWMF_DSOWNS 0x0004
#define TWMF_POINTER 0x0008
#define TWMF_HANDLE 0x0010

// Pixel types, compression.
#define TWPT_BW 0
#define TWPT_GRAY 1
#define TWPT_RGB 2
#define TWCP_NONE 0

// Languages and countries, supported groups.
#define TWLG_USA 13
#define TWCY_USA 1

// The manager's entry (export ordinal 1 of "TWAINDSM.dll") and a data source's.
typedef TW_UINT16(WINAPI* DSMENTRYPROC)(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                                         TW_UINT16 msg, TW_MEMREF data);
typedef TW_UINT16(WINAPI* DSENTRYPROC)(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                        TW_MEMREF data);
// The application's callback that a source calls with MSG_XFERREADY and MSG_CLOSEDSREQ.
typedef TW_UINT16(WINAPI* TWAINCALLBACKPROC)(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                                              TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
