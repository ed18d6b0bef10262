// COM start-up counts and streams over global memory, with GlobalReAlloc under them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/com.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

TEST(ComStartUp, CountsPerThreadAndKeepsItsModel) {
    Machine machine;
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        std::thread([] { EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); }).join();
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);  // all undone: a new start
        CoUninitialize();
        platform::setFault("CoInitializeEx", platform::Fault());
        EXPECT_EQ(CoInitialize(nullptr), E_OUTOFMEMORY);
    }).join();
}

std::string contents(HGLOBAL global) {
    const SIZE_T size = GlobalSize(global);
    auto* data = static_cast<const char*>(GlobalLock(global));
    std::string bytes = data ? std::string(data, size) : std::string();
    GlobalUnlock(global);
    return bytes;
}

HRESULT seek(IStream* stream, LONGLONG offset, DWORD origin, ULONGLONG* position = nullptr) {
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER at;
    HRESULT hr = stream->Seek(move, origin, &at);
    if (position) *position = at.QuadPart;
    return hr;
}

TEST(GlobalStream, GrowsItsBlockAsItIsWritten) {
    Machine machine;
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, FALSE, &stream), S_OK);
    HGLOBAL global = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(stream, &global), S_OK);
    EXPECT_EQ(GlobalSize(global), 0u);
    ULONG written = 0;
    EXPECT_EQ(stream->Write("BM header", 9, &written), S_OK);
    EXPECT_EQ(written, 9u);
    // Seek to the end and append, as the scan thread does for every chunk; then overwrite inside.
    for (int i = 0; i < 1000; ++i) {
        ULONGLONG at = 0;
        ASSERT_EQ(seek(stream, 0, STREAM_SEEK_END, &at), S_OK);
        ASSERT_EQ(at, 9u + 4u * i);
        ASSERT_EQ(stream->Write("abcd", 4, &written), S_OK);
    }
    EXPECT_EQ(seek(stream, 2, STREAM_SEEK_SET), S_OK);
    EXPECT_EQ(stream->Write("XY", 2, nullptr), S_OK);
    const std::string bytes = contents(global);
    ASSERT_EQ(bytes.size(), 4009u);
    EXPECT_EQ(bytes.substr(0, 13), "BMXYeaderabcd");
    EXPECT_EQ(bytes.substr(4005), "abcd");
    STATSTG stat;
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 4009u);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    // Reading from the start, and past the end.
    char buffer[16] = {};
    ULONG read = 0;
    EXPECT_EQ(seek(stream, -4, STREAM_SEEK_END), S_OK);
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK);
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(seek(stream, -1, STREAM_SEEK_SET), STG_E_INVALIDFUNCTION);
    // Without delete-on-release the block outlives the stream.
    EXPECT_EQ(stream->Release(), 0u);
    EXPECT_EQ(contents(global).size(), 4009u);
    EXPECT_EQ(GlobalFree(global), nullptr);
}

TEST(GlobalStream, AWriteThatCannotGrowTheBlockWritesNothing) {
    Machine machine;
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(stream->Write("12345678", 8, nullptr), S_OK);
    platform::setFault("GlobalReAlloc", platform::Fault().atLeast(12));
    ULONG written = 99;
    EXPECT_EQ(stream->Write("abcdef", 6, &written), STG_E_MEDIUMFULL);
    EXPECT_EQ(written, 0u);
    ULONGLONG end = 0;
    EXPECT_EQ(seek(stream, 0, STREAM_SEEK_END, &end), S_OK);
    EXPECT_EQ(end, 8u);
    EXPECT_EQ(stream->Write("ab", 2, &written), S_OK);  // 10 bytes still fit
    EXPECT_EQ(written, 2u);
    stream->Release();
}

TEST(GlobalStream, OverAGivenBlockAndOtherStreams) {
    Machine machine;
    HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(global), "page", 4);
    GlobalUnlock(global);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(global, TRUE, &stream), S_OK);
    char buffer[4];
    ULONG read = 0;
    EXPECT_EQ(stream->Read(buffer, 4, &read), S_OK);
    EXPECT_EQ(std::string(buffer, read), "page");
    IUnknown* unknown = nullptr;
    EXPECT_EQ(stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    IStream* clone = nullptr;
    EXPECT_EQ(stream->Clone(&clone), E_NOTIMPL);
    stream->Release();  // frees the block with it
    EXPECT_EQ(GlobalSize(global), 0u);
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, FALSE, nullptr), E_INVALIDARG);
    HGLOBAL none = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(nullptr, &none), E_INVALIDARG);
}

TEST(GlobalReAlloc, MovesOnlyWhatMayMove) {
    Machine machine;
    struct Case {
        const char* what;
        UINT allocFlags;
        bool lock;
        SIZE_T newSize;
        UINT flags;
        bool sameHandle;  // else a new one, or NULL when `fails`
        bool fails;
    };
    const Case cases[] = {
        {"movable grows", GMEM_MOVEABLE, false, 4096, GMEM_ZEROINIT, true, false},
        {"movable shrinks while locked", GMEM_MOVEABLE, true, 2, 0, true, false},
        {"locked movable cannot move", GMEM_MOVEABLE, true, 4096, GMEM_MOVEABLE, false, true},
        {"fixed shrinks in place", GMEM_FIXED, false, 2, 0, true, false},
        {"fixed does not grow in place", GMEM_FIXED, false, 4096, 0, false, true},
        {"fixed moves when allowed", GMEM_FIXED, false, 4096, GMEM_MOVEABLE | GMEM_ZEROINIT, false, false},
        // Blocks of a scanned page's size, on huge pages where the host has them.
        {"movable grows to megabytes", GMEM_MOVEABLE, false, 13 << 20, GMEM_ZEROINIT, true, false},
        {"fixed moves to megabytes", GMEM_FIXED, false, 9 << 20, GMEM_MOVEABLE | GMEM_ZEROINIT, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HGLOBAL global = GlobalAlloc(c.allocFlags, 8);
        auto* data = static_cast<char*>(GlobalLock(global));
        std::memcpy(data, "contents", 8);
        if (!c.lock) GlobalUnlock(global);
        SetLastError(0xDEADBEEF);
        HGLOBAL again = GlobalReAlloc(global, c.newSize, c.flags);
        const DWORD error = GetLastError();
        if (c.lock) GlobalUnlock(global);
        if (c.fails) {
            EXPECT_EQ(again, nullptr);
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_EQ(GlobalSize(global), 8u);
            GlobalFree(global);
            continue;
        }
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again == global, c.sameHandle);
        EXPECT_EQ(GlobalSize(again), c.newSize);
        const std::string bytes = contents(again);
        EXPECT_EQ(bytes.substr(0, 2), "co");
        if (c.newSize > 8) {
            EXPECT_EQ(bytes.substr(0, 8), "contents");
            if (c.flags & GMEM_ZEROINIT) {
                EXPECT_EQ(bytes.substr(8), std::string(c.newSize - 8, '\0'));
            }
        }
        if (!c.sameHandle) {
            EXPECT_EQ(GlobalSize(global), 0u);  // the old handle is gone
        }
        GlobalFree(again);
    }
    HGLOBAL global = GlobalAlloc(GMEM_MOVEABLE, 8);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GlobalReAlloc(global, 16, 0x80 /* GMEM_MODIFY */), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    GlobalFree(global);
}

}  // namespace

namespace {

TEST(IIDFromString, ReadsBracedTextOfEitherCaseOnly) {
    IID iid{};
    ASSERT_EQ(IIDFromString(u"{0a1B2c3D-4E5F-6071-8293-A4B5C6D7E8F9}", &iid), S_OK);
    const IID expected = {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
    EXPECT_TRUE(iid == expected);
    for (const char16_t* bad : {u"", u"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F}",
                                u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}x", u"{0A1B2C3D+4E5F-6071-8293-A4B5C6D7E8F9}",
                                u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FG}"}) {
        IID untouched = expected;
        EXPECT_EQ(IIDFromString(bad, &untouched), CO_E_IIDSTRING) << platform::toUtf8(bad);
        EXPECT_TRUE(untouched == expected);
    }
    EXPECT_EQ(IIDFromString(nullptr, &iid), E_INVALIDARG);
}

}  // namespace
