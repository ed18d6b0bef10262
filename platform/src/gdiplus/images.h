// GDI+'s objects inside the layer: pictures (rows in memory), metafiles being recorded, graphics and
// image attributes; the decoders and encoders over byte ranges.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win/gdiplus.h"

// A picture or a metafile; the flat interface hands out pointers to these.
struct GpImage {
    virtual ~GpImage() = default;
};

struct GpBitmap : GpImage {
    UINT width = 0;
    UINT height = 0;
    PixelFormat format = PixelFormat24bppRGB;
    int bpp = 24;                 // 1, 8, 24 or 32 (bytes blue, green, red[, alpha or unused])
    std::vector<RGBQUAD> palette;  // indexed pictures
    REAL dpiX = 96;
    REAL dpiY = 96;
    // The rows: `data` from `offset`, `stride` bytes apart, top-down unless `bottomUp`. A BMP keeps
    // its file bytes here, so loading one copies nothing.
    std::vector<BYTE> data;
    size_t offset = 0;
    size_t stride = 0;
    bool bottomUp = false;

    const BYTE* row(UINT y) const { return data.data() + offset + (bottomUp ? height - 1 - y : y) * stride; }
    BYTE* row(UINT y) { return data.data() + offset + (bottomUp ? height - 1 - y : y) * stride; }
};

namespace platform::gdiplus {

// GdiplusNotInitialized unless GDI+ is started.
GpStatus started();
// Registers an object handed out, and checks one handed back.
void adopt(GpImage* image);
bool known(GpImage* image);
bool forget(GpImage* image);
GpBitmap* bitmapOf(GpImage* image);

size_t dibStride(UINT width, int bpp);
// A picture of the size and format with zeroed rows (top-down), or null when too large.
std::unique_ptr<GpBitmap> makeBitmap(UINT width, UINT height, int bpp);
std::vector<RGBQUAD> greyPalette(int bpp);

// Decoders over a byte range: the picture, or nothing for bytes they do not take.
std::unique_ptr<GpBitmap> decodeBmp(std::vector<BYTE>&& bytes);
std::unique_ptr<GpBitmap> decodeJpeg(const std::vector<BYTE>& bytes);
std::unique_ptr<GpBitmap> decodePng(const std::vector<BYTE>& bytes);
std::unique_ptr<GpBitmap> decodePicture(std::vector<BYTE>&& bytes);

// Encoders: the file's bytes, or nothing on failure.
std::optional<std::vector<BYTE>> encodeBmp(const GpBitmap& picture);
std::optional<std::vector<BYTE>> encodeJpeg(const GpBitmap& picture, int quality);
std::optional<std::vector<BYTE>> encodePng(const GpBitmap& picture);
std::optional<std::vector<BYTE>> encodeGif(const GpBitmap& picture);
std::optional<std::vector<BYTE>> encodeTiff(const GpBitmap& picture);

// Pixels per metre of a resolution in dots per inch, as the files record it.
LONG pixelsPerMetre(REAL dpi);

}  // namespace platform::gdiplus
