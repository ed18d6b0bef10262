// The component object model as far as the programs use it: interface identities, IUnknown, COM
// start-up and shut-down per thread, and streams over global memory.
#pragma once

#include "win/base.h"
#include "win/kernel.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }
typedef const GUID& REFGUID;
typedef WCHAR* LPOLESTR;
// Writes the GUID braced in upper case ("{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}"); returns the
// characters written with the NUL (39), or 0 when the buffer of `size` characters is too small.
WINBASEAPI int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int size);

#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define STG_E_INVALIDFUNCTION static_cast<HRESULT>(0x80030001u)
#define STG_E_INVALIDPOINTER static_cast<HRESULT>(0x80030009u)
#define STG_E_MEDIUMFULL static_cast<HRESULT>(0x80030070u)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106u)

WINBASEAPI const IID IID_IUnknown;
WINBASEAPI const IID IID_ISequentialStream;
WINBASEAPI const IID IID_IStream;

// Interfaces are classes of pure virtual functions in the order of their vtables. As in COM, objects
// are destroyed by their last Release, never through the interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* buffer, ULONG bytes, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) = 0;
};

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1
#define STGTY_STREAM 2

struct STATSTG {
    LPWSTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

struct IStream : ISequentialStream {
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* read, ULARGE_INTEGER* written) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD lockType) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD lockType) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
    virtual HRESULT Clone(IStream** copy) = 0;
};
#pragma GCC diagnostic pop
typedef IStream* LPSTREAM;

// ---- Start-up and shut-down ----------------------------------------------------------------------
// A count per thread: the first call of a thread answers S_OK, later ones S_FALSE (each needs its
// CoUninitialize), a call for the other concurrency model RPC_E_CHANGED_MODE (not counted). Nothing
// else depends on it: the layer has no apartments, marshalling or class registry. Fault switch
// "CoInitializeEx" answers E_OUTOFMEMORY.
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
// An identity from its braced text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits of
// either case, exactly 38 characters); anything else gives CO_E_IIDSTRING and leaves `iid` as it was.
// Names looked up in the registry are left out.
#define CO_E_IIDSTRING static_cast<HRESULT>(0x800401F4u)
WINBASEAPI HRESULT WINAPI IIDFromString(LPCWSTR text, IID* iid);

WINBASEAPI HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
WINBASEAPI HRESULT WINAPI CoInitialize(LPVOID reserved);
WINBASEAPI void WINAPI CoUninitialize();

// ---- Task memory -----------------------------------------------------------------------------------
// Blocks that one component hands to another (item lists of the shell). CoTaskMemFree(NULL) does
// nothing; platform::liveTaskMemoryBlocks() counts the blocks not yet freed.
WINBASEAPI LPVOID WINAPI CoTaskMemAlloc(SIZE_T size);
WINBASEAPI void WINAPI CoTaskMemFree(LPVOID block);

// ---- Streams over global memory ------------------------------------------------------------------
// A stream over a movable global block (NULL: a new block of no bytes). Its size is the block's
// size; a write beyond the end grows the block with GlobalReAlloc (STG_E_MEDIUMFULL when that fails,
// with nothing written). With deleteOnRelease the last Release frees the block. Read, Write, Seek,
// SetSize, CopyTo, Commit, Revert (nothing to do) and Stat (no name) work; LockRegion and
// UnlockRegion answer STG_E_INVALIDFUNCTION and Clone E_NOTIMPL.
WINBASEAPI HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL global, BOOL deleteOnRelease, LPSTREAM* stream);
// The block under a stream of CreateStreamOnHGlobal; E_INVALIDARG for any other stream.
WINBASEAPI HRESULT WINAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* global);
