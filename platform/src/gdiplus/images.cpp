// GDI+ start-up, pictures loaded from streams and files, and what they tell about themselves.
#include <cmath>
#include <mutex>
#include <new>
#include <set>

#include "images.h"
#include "../internal.h"
#include "win/files.h"

namespace platform::gdiplus {

namespace {

struct State {
    std::mutex mutex;
    int starts = 0;
    std::set<GpImage*> images;
};
State& state() {
    static auto* s = new State;
    return *s;
}

GpStatus fileStatus(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return AccessDenied;
    default: return Win32Error;
    }
}

// The whole content of a stream, read from its start.
bool readStream(IStream* stream, std::vector<BYTE>& bytes) {
    LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return false;
    constexpr ULONG kChunk = 1 << 20;
    for (;;) {
        size_t have = bytes.size();
        bytes.resize(have + kChunk);
        ULONG read = 0;
        HRESULT hr = stream->Read(bytes.data() + have, kChunk, &read);
        bytes.resize(have + read);
        if (FAILED(hr)) return false;
        if (read < kChunk) return true;
    }
}

// A loaded picture handed out, or the status that says why there is none.
GpStatus handOut(std::unique_ptr<GpBitmap> picture, GpBitmap** out) {
    if (!picture) return UnknownImageFormat;
    *out = picture.release();
    adopt(*out);
    return Ok;
}

GpStatus loadStream(IStream* stream, GpBitmap** out) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!stream || !out) return InvalidParameter;
    *out = nullptr;
    std::vector<BYTE> bytes;
    try {
        if (!readStream(stream, bytes)) return Win32Error;
        return handOut(decodePicture(std::move(bytes)), out);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
}

GpStatus loadFile(const WCHAR* file, GpBitmap** out) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!file || !out) return InvalidParameter;
    *out = nullptr;
    HANDLE handle = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fileStatus(GetLastError());
    DWORD high = 0;
    DWORD low = GetFileSize(handle, &high);
    if (high != 0 || low > 0x7FFFFFFF) {
        CloseHandle(handle);
        return OutOfMemory;
    }
    try {
        std::vector<BYTE> bytes(low);
        DWORD read = 0;
        BOOL ok = ReadFile(handle, bytes.data(), low, &read, nullptr);
        CloseHandle(handle);
        if (!ok || read != low) return Win32Error;
        return handOut(decodePicture(std::move(bytes)), out);
    } catch (const std::bad_alloc&) {
        CloseHandle(handle);
        return OutOfMemory;
    }
}

// The picture behind an image pointer for the property calls.
template <class F>
GpStatus property(GpImage* image, void* out, F f) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!out) return InvalidParameter;
    GpBitmap* picture = bitmapOf(image);
    if (!picture) return InvalidParameter;
    f(*picture);
    return Ok;
}

}  // namespace

GpStatus started() {
    std::lock_guard lock(state().mutex);
    return state().starts > 0 ? Ok : GdiplusNotInitialized;
}

void adopt(GpImage* image) {
    std::lock_guard lock(state().mutex);
    state().images.insert(image);
}

bool known(GpImage* image) {
    std::lock_guard lock(state().mutex);
    return image && state().images.count(image) != 0;
}

bool forget(GpImage* image) {
    std::lock_guard lock(state().mutex);
    return image && state().images.erase(image) != 0;
}

GpBitmap* bitmapOf(GpImage* image) { return known(image) ? dynamic_cast<GpBitmap*>(image) : nullptr; }

size_t dibStride(UINT width, int bpp) { return ((static_cast<size_t>(width) * bpp + 31) / 32) * 4; }

std::vector<RGBQUAD> greyPalette(int bpp) {
    size_t count = size_t{1} << bpp;
    std::vector<RGBQUAD> palette(count);
    for (size_t i = 0; i < count; ++i) {
        BYTE v = static_cast<BYTE>(i * 255 / (count - 1));
        palette[i] = RGBQUAD{v, v, v, 0};
    }
    return palette;
}

std::unique_ptr<GpBitmap> makeBitmap(UINT width, UINT height, int bpp) {
    if (width == 0 || height == 0 || width > (1u << 20) || height > (1u << 20)) return nullptr;
    size_t stride = dibStride(width, bpp);
    if (stride * height > (size_t{1} << 31)) return nullptr;
    auto picture = std::make_unique<GpBitmap>();
    picture->width = width;
    picture->height = height;
    picture->bpp = bpp;
    picture->format = bpp == 1   ? PixelFormat1bppIndexed
                      : bpp == 8 ? PixelFormat8bppIndexed
                      : bpp == 24 ? PixelFormat24bppRGB
                                  : PixelFormat32bppARGB;
    if (bpp <= 8) picture->palette = greyPalette(bpp);
    picture->stride = stride;
    picture->data.assign(stride * height, 0);
    return picture;
}

std::unique_ptr<GpBitmap> decodePicture(std::vector<BYTE>&& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return decodeBmp(std::move(bytes));
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return decodeJpeg(bytes);
    if (bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        return decodePng(bytes);
    return nullptr;
}

LONG pixelsPerMetre(REAL dpi) { return static_cast<LONG>(std::lround(dpi / 0.0254)); }

}  // namespace platform::gdiplus

using namespace platform::gdiplus;

GpStatus WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
    if (!token || !input) return InvalidParameter;
    if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
    if (input->SuppressBackgroundThread && !output) return InvalidParameter;
    if (output) *output = GdiplusStartupOutput{nullptr, nullptr};
    std::lock_guard lock(state().mutex);
    *token = static_cast<ULONG_PTR>(++state().starts);
    return Ok;
}

void WINAPI GdiplusShutdown(ULONG_PTR) {
    std::lock_guard lock(state().mutex);
    if (state().starts > 0) --state().starts;
}

GpStatus WINGDIPAPI GdipLoadImageFromStream(IStream* stream, GpImage** image) {
    GpBitmap* bitmap = nullptr;
    GpStatus s = loadStream(stream, image ? &bitmap : nullptr);
    if (image) *image = bitmap;
    return s;
}

GpStatus WINGDIPAPI GdipCreateBitmapFromStream(IStream* stream, GpBitmap** bitmap) { return loadStream(stream, bitmap); }

GpStatus WINGDIPAPI GdipLoadImageFromFile(const WCHAR* file, GpImage** image) {
    GpBitmap* bitmap = nullptr;
    GpStatus s = loadFile(file, image ? &bitmap : nullptr);
    if (image) *image = bitmap;
    return s;
}

GpStatus WINGDIPAPI GdipCreateBitmapFromFile(const WCHAR* file, GpBitmap** bitmap) { return loadFile(file, bitmap); }

GpStatus WINGDIPAPI GdipDisposeImage(GpImage* image) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!forget(image)) return InvalidParameter;
    delete image;
    return Ok;
}

GpStatus WINGDIPAPI GdipGetImageWidth(GpImage* image, UINT* width) {
    return property(image, width, [&](const GpBitmap& p) { *width = p.width; });
}

GpStatus WINGDIPAPI GdipGetImageHeight(GpImage* image, UINT* height) {
    return property(image, height, [&](const GpBitmap& p) { *height = p.height; });
}

GpStatus WINGDIPAPI GdipGetImageHorizontalResolution(GpImage* image, REAL* resolution) {
    return property(image, resolution, [&](const GpBitmap& p) { *resolution = p.dpiX; });
}

GpStatus WINGDIPAPI GdipGetImageVerticalResolution(GpImage* image, REAL* resolution) {
    return property(image, resolution, [&](const GpBitmap& p) { *resolution = p.dpiY; });
}

GpStatus WINGDIPAPI GdipGetImagePixelFormat(GpImage* image, PixelFormat* format) {
    return property(image, format, [&](const GpBitmap& p) { *format = p.format; });
}
