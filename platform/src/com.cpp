// COM start-up counts per thread and the stream over global memory.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "internal.h"
#include "win/com.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ISequentialStream = {0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const IID IID_IStream = {0x0000000c, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

// The value of `count` hexadecimal digits at `text`, or false.
bool hexDigits(const WCHAR* text, int count, uint32_t& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        const WCHAR c = text[i];
        int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                                         : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

struct ComThread {
    int count = 0;
    DWORD model = 0;
};
thread_local ComThread t_com;

DWORD modelOf(DWORD coInit) { return coInit & COINIT_APARTMENTTHREADED; }

class GlobalStream final : public IStream {
public:
    GlobalStream(HGLOBAL global, bool deleteOnRelease) : global_(global), deleteOnRelease_(deleteOnRelease) {}

    HGLOBAL global() const { return global_; }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            if (deleteOnRelease_) GlobalFree(global_);
            delete this;
        }
        return left;
    }

    HRESULT Read(void* buffer, ULONG bytes, ULONG* read) override {
        std::lock_guard lock(mutex_);
        if (read) *read = 0;
        if (!buffer) return STG_E_INVALIDPOINTER;
        const uint64_t size = GlobalSize(global_);
        const ULONG count = position_ >= size ? 0 : static_cast<ULONG>(std::min<uint64_t>(bytes, size - position_));
        if (count) {
            auto* data = static_cast<const unsigned char*>(GlobalLock(global_));
            if (!data) return STG_E_INVALIDFUNCTION;
            std::memcpy(buffer, data + position_, count);
            GlobalUnlock(global_);
        }
        position_ += count;
        if (read) *read = count;
        return S_OK;
    }

    HRESULT Write(const void* buffer, ULONG bytes, ULONG* written) override {
        std::lock_guard lock(mutex_);
        if (written) *written = 0;
        if (!buffer) return STG_E_INVALIDPOINTER;
        if (bytes == 0) return S_OK;
        const uint64_t end = position_ + bytes;
        if (end > GlobalSize(global_) && !resize(end)) return STG_E_MEDIUMFULL;
        auto* data = static_cast<unsigned char*>(GlobalLock(global_));
        if (!data) return STG_E_MEDIUMFULL;
        std::memcpy(data + position_, buffer, bytes);
        GlobalUnlock(global_);
        position_ = end;
        if (written) *written = bytes;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        std::lock_guard lock(mutex_);
        int64_t base = 0;
        switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<int64_t>(position_); break;
        case STREAM_SEEK_END: base = static_cast<int64_t>(GlobalSize(global_)); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        const int64_t target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<uint64_t>(target);
        if (newPosition) newPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER size) override {
        std::lock_guard lock(mutex_);
        return resize(size.QuadPart) ? S_OK : STG_E_MEDIUMFULL;
    }

    HRESULT CopyTo(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (read) read->QuadPart = 0;
        if (written) written->QuadPart = 0;
        if (!target) return STG_E_INVALIDPOINTER;
        unsigned char buffer[4096];
        uint64_t left = bytes.QuadPart;
        while (left > 0) {
            ULONG got = 0;
            HRESULT hr = Read(buffer, static_cast<ULONG>(std::min<uint64_t>(left, sizeof buffer)), &got);
            if (FAILED(hr)) return hr;
            if (got == 0) break;
            if (read) read->QuadPart += got;
            ULONG put = 0;
            hr = target->Write(buffer, got, &put);
            if (written) written->QuadPart += put;
            if (FAILED(hr)) return hr;
            left -= got;
        }
        return S_OK;
    }

    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        std::lock_guard lock(mutex_);
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = GlobalSize(global_);
        return S_OK;
    }

    HRESULT Clone(IStream** copy) override {
        if (copy) *copy = nullptr;
        return E_NOTIMPL;
    }

private:
    ~GlobalStream() = default;

    bool resize(uint64_t size) {
        if (size > 0xFFFFFFFFull) return false;  // streams over global memory stop at 4 GiB
        return GlobalReAlloc(global_, static_cast<SIZE_T>(size), GMEM_MOVEABLE) != nullptr;
    }

    std::atomic<ULONG> references_{1};
    std::mutex mutex_;
    HGLOBAL global_;
    bool deleteOnRelease_;
    uint64_t position_ = 0;
};

}  // namespace

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD coInit) {
    if (platform::detail::takeFault("CoInitializeEx")) return E_OUTOFMEMORY;
    if (t_com.count > 0) {
        if (t_com.model != modelOf(coInit)) return RPC_E_CHANGED_MODE;
        ++t_com.count;
        return S_FALSE;
    }
    t_com.count = 1;
    t_com.model = modelOf(coInit);
    return S_OK;
}

bool platform::detail::comInitialized() { return t_com.count > 0; }

HRESULT WINAPI CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize() {
    if (t_com.count > 0) --t_com.count;
}

HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL global, BOOL deleteOnRelease, LPSTREAM* stream) {
    if (!stream) return E_INVALIDARG;
    *stream = nullptr;
    if (!global) {
        global = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!global) return E_OUTOFMEMORY;
    } else {
        SetLastError(ERROR_SUCCESS);
        if (GlobalSize(global) == 0 && GetLastError() == ERROR_INVALID_HANDLE) return E_INVALIDARG;
    }
    *stream = new GlobalStream(global, deleteOnRelease != FALSE);
    return S_OK;
}

HRESULT WINAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* global) {
    if (!global) return E_INVALIDARG;
    *global = nullptr;
    auto* ours = dynamic_cast<GlobalStream*>(stream);
    if (!ours) return E_INVALIDARG;
    *global = ours->global();
    return S_OK;
}

namespace {
std::atomic<size_t> g_taskBlocks{0};
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) {
    void* block = std::malloc(size ? size : 1);
    if (block) ++g_taskBlocks;
    return block;
}

void WINAPI CoTaskMemFree(LPVOID block) {
    if (!block) return;
    --g_taskBlocks;
    std::free(block);
}

namespace platform {
size_t liveTaskMemoryBlocks() { return g_taskBlocks.load(); }
}  // namespace platform

int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int size) {
    char narrow[40];
    const int length = std::snprintf(narrow, sizeof narrow, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                                     static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                                     guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                                     guid.Data4[6], guid.Data4[7]);
    if (!text || size < length + 1) return 0;
    for (int i = 0; i <= length; ++i) text[i] = static_cast<WCHAR>(narrow[i]);
    return length + 1;
}

HRESULT WINAPI IIDFromString(LPCWSTR text, IID* iid) {
    if (!text || !iid) return E_INVALIDARG;
    size_t length = 0;
    while (length < 39 && text[length]) ++length;
    // {01234567-0123-0123-0123-0123456789AB}: the braces and dashes at fixed places.
    if (length != 38 || text[0] != u'{' || text[9] != u'-' || text[14] != u'-' || text[19] != u'-' ||
        text[24] != u'-' || text[37] != u'}')
        return CO_E_IIDSTRING;
    IID out{};
    uint32_t value = 0;
    if (!hexDigits(text + 1, 8, value)) return CO_E_IIDSTRING;
    out.Data1 = value;
    if (!hexDigits(text + 10, 4, value)) return CO_E_IIDSTRING;
    out.Data2 = static_cast<WORD>(value);
    if (!hexDigits(text + 15, 4, value)) return CO_E_IIDSTRING;
    out.Data3 = static_cast<WORD>(value);
    static const int kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!hexDigits(text + kByteAt[i], 2, value)) return CO_E_IIDSTRING;
        out.Data4[i] = static_cast<BYTE>(value);
    }
    *iid = out;
    return S_OK;
}
