// GDI+'s objects inside the layer: pictures (rows in memory), metafiles being recorded, graphics and
// image attributes; the decoders and encoders over byte ranges.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "win/gdiplus.h"
#include "win/kernel.h"

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
    // The rows: from `bytes + offset`, `stride` bytes apart, top-down unless `bottomUp`. A BMP's rows
    // stay in its file's bytes: in `owned`, or in the global memory of the stream it came from, which
    // the picture holds (a reference and a lock) while it lives, as GDI+ keeps a picture's stream.
    std::vector<BYTE> owned;
    const BYTE* bytes = nullptr;
    size_t offset = 0;
    size_t stride = 0;
    bool bottomUp = false;
    IStream* stream = nullptr;
    HGLOBAL global = nullptr;

    ~GpBitmap() override;
    const BYTE* row(UINT y) const { return bytes + offset + (bottomUp ? height - 1 - y : y) * stride; }
    // Rows of a picture that owns them (decoders fill these).
    BYTE* ownRow(UINT y) { return owned.data() + offset + (bottomUp ? height - 1 - y : y) * stride; }
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

// Decoders over a byte range: the picture, or nothing for bytes they do not take. A BMP's picture
// points into the bytes, which must outlive it (the caller hands it their owner); the others own
// their rows.
std::unique_ptr<GpBitmap> decodeBmp(const BYTE* bytes, size_t size);
std::unique_ptr<GpBitmap> decodeJpeg(const BYTE* bytes, size_t size);
std::unique_ptr<GpBitmap> decodePng(const BYTE* bytes, size_t size);
std::unique_ptr<GpBitmap> decodePicture(const BYTE* bytes, size_t size);

// Where an encoder's bytes go: the file, through a buffer of its own. A failed write stops the
// writing and keeps the system error.
class FileSink {
public:
    explicit FileSink(HANDLE file) : file_(file) {}
    void write(const void* data, size_t length);
    // Writes what is buffered; false when any write failed.
    bool finish();
    bool failed() const { return failed_; }
    HANDLE file() const { return file_; }

private:
    HANDLE file_;
    std::vector<BYTE> buffer_;
    bool failed_ = false;
    DWORD error_ = 0;
};

// Encoders into a file: false on failure.
bool encodeBmp(const GpBitmap& picture, FileSink& sink);
bool encodeJpeg(const GpBitmap& picture, int quality, FileSink& sink);
bool encodePng(const GpBitmap& picture, FileSink& sink);
bool encodeGif(const GpBitmap& picture, FileSink& sink);
// libtiff seeks in the file: straight over its handle.
bool encodeTiff(const GpBitmap& picture, HANDLE file);

// Pixels per metre of a resolution in dots per inch, as the files record it.
LONG pixelsPerMetre(REAL dpi);

}  // namespace platform::gdiplus
