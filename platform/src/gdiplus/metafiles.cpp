// Metafiles recorded through GDI+: images drawn on a reference DC become stretched-DIB records of an
// enhanced metafile, written to its file when the recording ends; the EMF converts to a Windows
// metafile of the same records.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "../gdi/metafiles.h"
#include "images.h"
#include "win/files.h"

namespace {

using platform::gdiplus::started;

// Enhanced metafile record types and the header's signature (" EMF").
constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr uint32_t kEmrStretchDibits = 81;
constexpr uint32_t kEmfSignature = 0x464D4520;
constexpr uint32_t kEmfVersion = 0x10000;
constexpr uint32_t kEmfHeaderBytes = 108;   // with both header extensions
constexpr uint32_t kStretchDibitsBytes = 80;  // the record before its BITMAPINFO
// Windows metafile record functions.
constexpr uint16_t kMetaSetMapMode = 0x0103;
constexpr uint16_t kMetaSetWindowOrg = 0x020B;
constexpr uint16_t kMetaSetWindowExt = 0x020C;
constexpr uint16_t kMetaStretchDib = 0x0F43;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;

void put16(std::vector<BYTE>& out, uint32_t v) {
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
}
void put32(std::vector<BYTE>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void set32(std::vector<BYTE>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<BYTE>(v >> (8 * i));
}
uint32_t get32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// A packed DIB: header, palette and bottom-up rows.
struct Dib {
    std::vector<BYTE> info;  // BITMAPINFOHEADER and palette
    std::vector<BYTE> bits;
    LONG width = 0;
    LONG height = 0;
};

// One image drawn: where, and the DIB of its source rectangle.
struct Draw {
    RECTL dest;
    Dib dib;
};

struct Recording {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool ended = false;
    SIZEL device{};       // the reference device in pixels
    SIZEL millimetres{};  // and in millimetres
    std::vector<Draw> draws;
    std::vector<BYTE> emf;
};

}  // namespace

struct GpMetafile : GpImage {
    std::shared_ptr<Recording> recording;
    bool graphicsOut = false;
    ~GpMetafile() override;
};

struct GpGraphics {
    std::shared_ptr<Recording> recording;
    GpMetafile* metafile = nullptr;
};

struct GpImageAttributes {
    bool threshold = false;
    REAL thresholdValue = 0;
    bool matrix = false;
    ColorMatrix colorMatrix{};
};

namespace {

// The EMF of the records, with its header.
std::vector<BYTE> emfOf(const Recording& r) {
    RECTL bounds{0, 0, -1, -1};
    bool any = false;
    for (const Draw& d : r.draws) {
        if (!any) {
            bounds = d.dest;
            any = true;
        } else {
            bounds.left = std::min(bounds.left, d.dest.left), bounds.top = std::min(bounds.top, d.dest.top);
            bounds.right = std::max(bounds.right, d.dest.right), bounds.bottom = std::max(bounds.bottom, d.dest.bottom);
        }
    }
    // The frame in hundredths of a millimetre, from the reference device's pixel size.
    double perPixelX = r.device.cx > 0 ? r.millimetres.cx * 100.0 / r.device.cx : 2540.0 / 96;
    double perPixelY = r.device.cy > 0 ? r.millimetres.cy * 100.0 / r.device.cy : 2540.0 / 96;
    RECTL frame{static_cast<LONG>(std::lround(bounds.left * perPixelX)),
                static_cast<LONG>(std::lround(bounds.top * perPixelY)),
                static_cast<LONG>(std::lround((bounds.right + 1) * perPixelX)),
                static_cast<LONG>(std::lround((bounds.bottom + 1) * perPixelY))};
    std::vector<BYTE> out;
    auto putRect = [&](const RECTL& rc) {
        put32(out, static_cast<uint32_t>(rc.left)), put32(out, static_cast<uint32_t>(rc.top));
        put32(out, static_cast<uint32_t>(rc.right)), put32(out, static_cast<uint32_t>(rc.bottom));
    };
    put32(out, kEmrHeader);
    put32(out, kEmfHeaderBytes);
    putRect(bounds);
    putRect(frame);
    put32(out, kEmfSignature);
    put32(out, kEmfVersion);
    put32(out, 0);  // nBytes, set below
    put32(out, static_cast<uint32_t>(r.draws.size() + 2));
    put16(out, 1);  // handles: the reserved one
    put16(out, 0);
    put32(out, 0), put32(out, 0), put32(out, 0);  // no description, no palette
    put32(out, static_cast<uint32_t>(r.device.cx)), put32(out, static_cast<uint32_t>(r.device.cy));
    put32(out, static_cast<uint32_t>(r.millimetres.cx)), put32(out, static_cast<uint32_t>(r.millimetres.cy));
    put32(out, 0), put32(out, 0), put32(out, 0);  // no pixel format, no OpenGL
    put32(out, static_cast<uint32_t>(r.millimetres.cx * 1000)), put32(out, static_cast<uint32_t>(r.millimetres.cy * 1000));
    for (const Draw& d : r.draws) {
        uint32_t size = kStretchDibitsBytes + static_cast<uint32_t>(d.dib.info.size() + d.dib.bits.size());
        put32(out, kEmrStretchDibits);
        put32(out, size);
        putRect(d.dest);
        put32(out, static_cast<uint32_t>(d.dest.left)), put32(out, static_cast<uint32_t>(d.dest.top));
        put32(out, 0), put32(out, 0);
        put32(out, static_cast<uint32_t>(d.dib.width)), put32(out, static_cast<uint32_t>(d.dib.height));
        put32(out, kStretchDibitsBytes);
        put32(out, static_cast<uint32_t>(d.dib.info.size()));
        put32(out, kStretchDibitsBytes + static_cast<uint32_t>(d.dib.info.size()));
        put32(out, static_cast<uint32_t>(d.dib.bits.size()));
        put32(out, DIB_RGB_COLORS);
        put32(out, SRCCOPY);
        put32(out, static_cast<uint32_t>(d.dest.right - d.dest.left + 1));
        put32(out, static_cast<uint32_t>(d.dest.bottom - d.dest.top + 1));
        out.insert(out.end(), d.dib.info.begin(), d.dib.info.end());
        out.insert(out.end(), d.dib.bits.begin(), d.dib.bits.end());
    }
    put32(out, kEmrEof);
    put32(out, 20);
    put32(out, 0);   // no palette entries
    put32(out, 16);  // where they would be
    put32(out, 20);
    set32(out, 32 + 16, static_cast<uint32_t>(out.size()));
    return out;
}

// Ends a recording: the EMF is made and written to its file. Win32Error when the write fails.
GpStatus endRecording(Recording& r) {
    if (r.ended) return Ok;
    r.ended = true;
    GpStatus status = Ok;
    try {
        r.emf = emfOf(r);
        r.draws.clear();
        DWORD written = 0;
        if (!WriteFile(r.file, r.emf.data(), static_cast<DWORD>(r.emf.size()), &written, nullptr) ||
            written != r.emf.size())
            status = Win32Error;
    } catch (const std::bad_alloc&) {
        status = OutOfMemory;
    }
    CloseHandle(r.file);
    r.file = INVALID_HANDLE_VALUE;
    return status;
}

// A colour through the attributes: the matrix (a row vector of red, green, blue, alpha and 1 times it),
// then the threshold.
RGBQUAD adjust(RGBQUAD c, const GpImageAttributes& a) {
    if (a.matrix) {
        const auto& m = a.colorMatrix.m;
        double in[5] = {c.rgbRed / 255.0, c.rgbGreen / 255.0, c.rgbBlue / 255.0, 1.0, 1.0};
        double out[3];
        for (int j = 0; j < 3; ++j) {
            out[j] = 0;
            for (int i = 0; i < 5; ++i) out[j] += in[i] * m[i][j];
        }
        auto clamp = [](double v) { return static_cast<BYTE>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
        c.rgbRed = clamp(out[0]), c.rgbGreen = clamp(out[1]), c.rgbBlue = clamp(out[2]);
    }
    if (a.threshold) {
        auto cut = [&](BYTE v) { return static_cast<BYTE>(v / 255.0 > a.thresholdValue ? 255 : 0); };
        c.rgbRed = cut(c.rgbRed), c.rgbGreen = cut(c.rgbGreen), c.rgbBlue = cut(c.rgbBlue);
    }
    return c;
}

bool isIdentity(const ColorMatrix& m) {
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            if (m.m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
    return true;
}

// The DIB of a source rectangle of a picture, its colours through the attributes. Indexed pictures
// keep their indexes and change their palette; 32-bit ones become 24-bit.
Dib dibOf(const GpBitmap& p, INT sx, INT sy, INT sw, INT sh, const GpImageAttributes* a) {
    bool change = a && (a->threshold || (a->matrix && !isIdentity(a->colorMatrix)));
    int bpp = p.bpp == 32 ? 24 : p.bpp;
    Dib dib;
    dib.width = sw;
    dib.height = sh;
    size_t stride = platform::gdiplus::dibStride(static_cast<UINT>(sw), bpp);
    size_t entries = bpp <= 8 ? size_t{1} << bpp : 0;
    auto& info = dib.info;
    put32(info, 40), put32(info, static_cast<uint32_t>(sw)), put32(info, static_cast<uint32_t>(sh));
    put16(info, 1), put16(info, static_cast<uint32_t>(bpp));
    put32(info, 0), put32(info, static_cast<uint32_t>(stride * sh));
    put32(info, static_cast<uint32_t>(platform::gdiplus::pixelsPerMetre(p.dpiX)));
    put32(info, static_cast<uint32_t>(platform::gdiplus::pixelsPerMetre(p.dpiY)));
    put32(info, static_cast<uint32_t>(entries)), put32(info, 0);
    for (size_t i = 0; i < entries; ++i) {
        RGBQUAD c = change ? adjust(p.palette[i], *a) : p.palette[i];
        info.insert(info.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed, 0});
    }
    dib.bits.assign(stride * sh, 0);
    for (INT y = 0; y < sh; ++y) {
        const BYTE* in = p.row(static_cast<UINT>(sy + y));
        BYTE* out = dib.bits.data() + static_cast<size_t>(sh - 1 - y) * stride;
        if (bpp == 1) {
            for (INT x = 0; x < sw; ++x) {
                INT from = sx + x;
                if ((in[from >> 3] >> (7 - (from & 7))) & 1) out[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
            }
        } else if (bpp == 8) {
            std::memcpy(out, in + sx, static_cast<size_t>(sw));
        } else {
            int step = p.bpp / 8;
            for (INT x = 0; x < sw; ++x) {
                const BYTE* px = in + static_cast<size_t>(sx + x) * step;
                RGBQUAD c{px[0], px[1], px[2], 0};
                if (change) c = adjust(c, *a);
                out[x * 3] = c.rgbBlue, out[x * 3 + 1] = c.rgbGreen, out[x * 3 + 2] = c.rgbRed;
            }
        }
    }
    return dib;
}

GpMetafile* metafileOf(GpImage* image) {
    return platform::gdiplus::known(image) ? dynamic_cast<GpMetafile*>(image) : nullptr;
}

// The stretched DIBs of an EMF, read from its records (a reader of bytes: anything it does not
// understand ends the reading).
struct EmfPicture {
    RECTL bounds{};
    struct Image {
        RECTL dest;
        LONG srcWidth, srcHeight;
        std::vector<BYTE> dib;  // BITMAPINFO and bits
    };
    std::vector<Image> images;
};
std::optional<EmfPicture> readEmf(const std::vector<BYTE>& emf) {
    if (emf.size() < 88 || get32(emf.data()) != kEmrHeader || get32(emf.data() + 40) != kEmfSignature)
        return std::nullopt;
    EmfPicture picture;
    const BYTE* h = emf.data();
    picture.bounds = RECTL{static_cast<LONG>(get32(h + 8)), static_cast<LONG>(get32(h + 12)),
                           static_cast<LONG>(get32(h + 16)), static_cast<LONG>(get32(h + 20))};
    size_t at = get32(h + 4);
    while (at + 8 <= emf.size()) {
        const BYTE* r = emf.data() + at;
        uint32_t type = get32(r), size = get32(r + 4);
        if (size < 8 || size % 4 || size > emf.size() - at) return std::nullopt;
        if (type == kEmrEof) return picture;
        if (type == kEmrStretchDibits && size >= kStretchDibitsBytes) {
            uint32_t offBmi = get32(r + 48), cbBmi = get32(r + 52), offBits = get32(r + 56), cbBits = get32(r + 60);
            if (offBmi != kStretchDibitsBytes || offBits != offBmi + cbBmi || cbBmi > size || cbBits > size - offBits)
                return std::nullopt;
            EmfPicture::Image image;
            image.dest = RECTL{static_cast<LONG>(get32(r + 24)), static_cast<LONG>(get32(r + 28)), 0, 0};
            image.dest.right = image.dest.left + static_cast<LONG>(get32(r + 72)) - 1;
            image.dest.bottom = image.dest.top + static_cast<LONG>(get32(r + 76)) - 1;
            image.srcWidth = static_cast<LONG>(get32(r + 40));
            image.srcHeight = static_cast<LONG>(get32(r + 44));
            image.dib.assign(r + offBmi, r + offBits + cbBits);
            picture.images.push_back(std::move(image));
        }
        at += size;
    }
    return std::nullopt;
}

// A Windows metafile record: its size in words, its function, its parameters.
void putRecord(std::vector<BYTE>& out, uint16_t function, std::initializer_list<uint16_t> words,
               const std::vector<BYTE>* tail = nullptr) {
    size_t bytes = 6 + words.size() * 2 + (tail ? tail->size() : 0);
    put32(out, static_cast<uint32_t>((bytes + 1) / 2));
    put16(out, function);
    for (uint16_t w : words) put16(out, w);
    if (tail) {
        out.insert(out.end(), tail->begin(), tail->end());
        if (tail->size() % 2) out.push_back(0);
    }
}

}  // namespace

GpMetafile::~GpMetafile() {
    if (recording) endRecording(*recording);
}

GpStatus WINGDIPAPI GdipRecordMetafileFileName(const WCHAR* file, HDC referenceDc, EmfType type, const GpRectF* frame,
                                               MetafileFrameUnit frameUnit, const WCHAR*, GpMetafile** metafile) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!file || !metafile || (type != EmfTypeEmfPlusDual && type != EmfTypeEmfOnly) ||
        frameUnit < MetafileFrameUnitPixel || frameUnit > MetafileFrameUnitGdi)
        return InvalidParameter;
    if (frame) return NotImplemented;
    *metafile = nullptr;
    int horzRes = GetDeviceCaps(referenceDc, HORZRES);
    if (horzRes <= 0) return InvalidParameter;
    auto recording = std::make_shared<Recording>();
    recording->device = SIZEL{horzRes, GetDeviceCaps(referenceDc, VERTRES)};
    recording->millimetres = SIZEL{GetDeviceCaps(referenceDc, HORZSIZE), GetDeviceCaps(referenceDc, VERTSIZE)};
    recording->file = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
    if (recording->file == INVALID_HANDLE_VALUE) return Win32Error;
    auto* out = new GpMetafile;
    out->recording = std::move(recording);
    platform::gdiplus::adopt(out);
    *metafile = out;
    return Ok;
}

GpStatus WINGDIPAPI GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!graphics || !platform::gdiplus::known(image)) return InvalidParameter;
    GpMetafile* metafile = metafileOf(image);
    if (!metafile) return NotImplemented;
    if (metafile->recording->ended || metafile->graphicsOut) return WrongState;
    metafile->graphicsOut = true;
    *graphics = new GpGraphics{metafile->recording, metafile};
    return Ok;
}

GpStatus WINGDIPAPI GdipDeleteGraphics(GpGraphics* graphics) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!graphics) return InvalidParameter;
    GpStatus status = endRecording(*graphics->recording);
    if (platform::gdiplus::known(graphics->metafile)) graphics->metafile->graphicsOut = false;
    delete graphics;
    return status;
}

GpStatus WINGDIPAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty, INT dstwidth,
                                           INT dstheight, INT srcx, INT srcy, INT srcwidth, INT srcheight,
                                           GpUnit srcUnit, const GpImageAttributes* attributes, DrawImageAbort, void*) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!graphics || !image) return InvalidParameter;
    if (graphics->recording->ended) return WrongState;
    GpBitmap* picture = platform::gdiplus::bitmapOf(image);
    if (!picture) return platform::gdiplus::known(image) ? NotImplemented : InvalidParameter;
    if (srcUnit != UnitPixel) return NotImplemented;
    if (dstwidth <= 0 || dstheight <= 0 || srcwidth <= 0 || srcheight <= 0 || srcx < 0 || srcy < 0 ||
        static_cast<int64_t>(srcx) + srcwidth > picture->width || static_cast<int64_t>(srcy) + srcheight > picture->height)
        return InvalidParameter;
    try {
        Draw draw;
        draw.dest = RECTL{dstx, dsty, dstx + dstwidth - 1, dsty + dstheight - 1};
        draw.dib = dibOf(*picture, srcx, srcy, srcwidth, srcheight, attributes);
        graphics->recording->draws.push_back(std::move(draw));
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    return Ok;
}

GpStatus WINGDIPAPI GdipCreateImageAttributes(GpImageAttributes** attributes) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!attributes) return InvalidParameter;
    *attributes = new GpImageAttributes;
    return Ok;
}

GpStatus WINGDIPAPI GdipDisposeImageAttributes(GpImageAttributes* attributes) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!attributes) return InvalidParameter;
    delete attributes;
    return Ok;
}

GpStatus WINGDIPAPI GdipSetImageAttributesThreshold(GpImageAttributes* attributes, ColorAdjustType type, BOOL enable,
                                                    REAL threshold) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!attributes || (type != ColorAdjustTypeDefault && type != ColorAdjustTypeBitmap)) return InvalidParameter;
    attributes->threshold = enable != FALSE;
    attributes->thresholdValue = threshold;
    return Ok;
}

GpStatus WINGDIPAPI GdipSetImageAttributesColorMatrix(GpImageAttributes* attributes, ColorAdjustType type, BOOL enable,
                                                      const ColorMatrix* colorMatrix, const ColorMatrix* grayMatrix,
                                                      ColorMatrixFlags flags) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!attributes || (type != ColorAdjustTypeDefault && type != ColorAdjustTypeBitmap) || (enable && !colorMatrix))
        return InvalidParameter;
    if (grayMatrix || flags != ColorMatrixFlagsDefault) return NotImplemented;
    attributes->matrix = enable != FALSE;
    if (enable) attributes->colorMatrix = *colorMatrix;
    return Ok;
}

GpStatus WINGDIPAPI GdipGetHemfFromMetafile(GpMetafile* metafile, HENHMETAFILE* emf) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!emf || !metafileOf(metafile)) return InvalidParameter;
    if (!metafile->recording->ended) return WrongState;
    *emf = platform::gdi::makeEnhMetafile(metafile->recording->emf);
    return Ok;
}

UINT WINAPI GdipEmfToWmfBits(HENHMETAFILE emf, UINT size, LPBYTE buffer, INT mapMode, INT flags) {
    if (started() != Ok || mapMode != MM_ANISOTROPIC) return 0;
    auto source = platform::gdi::metafileOf(emf, true);
    if (!source) return 0;
    auto picture = readEmf(source->bytes);
    if (!picture) return 0;
    const RECTL& b = picture->bounds;
    LONG width = b.right - b.left + 1, height = b.bottom - b.top + 1;
    auto fits = [](LONG v) { return v >= -32768 && v <= 32767; };
    if (!fits(b.left) || !fits(b.top) || !fits(width) || !fits(height)) return 0;
    std::vector<BYTE> out;
    try {
        if (flags & EmfToWmfBitsFlagsIncludePlaceable) {
            // Key, no handle, the bounds, units per inch (the reference device's pixels), reserved, and
            // the checksum: the XOR of the ten words before it.
            size_t at = out.size();
            put32(out, kPlaceableKey);
            put16(out, 0);
            put16(out, static_cast<uint16_t>(b.left)), put16(out, static_cast<uint16_t>(b.top));
            put16(out, static_cast<uint16_t>(b.right + 1)), put16(out, static_cast<uint16_t>(b.bottom + 1));
            put16(out, 96);
            put32(out, 0);
            uint16_t sum = 0;
            for (size_t i = 0; i < 10; ++i) sum ^= static_cast<uint16_t>(out[at + 2 * i] | out[at + 2 * i + 1] << 8);
            put16(out, sum);
        }
        size_t header = out.size();
        put16(out, 1);       // in memory
        put16(out, 9);       // header words
        put16(out, 0x0300);  // version
        put32(out, 0);       // size in words, set below
        put16(out, 0);       // objects
        put32(out, 0);       // largest record in words, set below
        put16(out, 0);
        size_t records = out.size();
        putRecord(out, kMetaSetMapMode, {static_cast<uint16_t>(MM_ANISOTROPIC)});
        putRecord(out, kMetaSetWindowOrg, {static_cast<uint16_t>(b.top), static_cast<uint16_t>(b.left)});
        putRecord(out, kMetaSetWindowExt, {static_cast<uint16_t>(height), static_cast<uint16_t>(width)});
        for (const auto& image : picture->images) {
            const RECTL& d = image.dest;
            LONG w = d.right - d.left + 1, h = d.bottom - d.top + 1;
            if (!fits(w) || !fits(h) || !fits(d.left) || !fits(d.top) || !fits(image.srcWidth) || !fits(image.srcHeight))
                return 0;
            putRecord(out, kMetaStretchDib,
                      {static_cast<uint16_t>(SRCCOPY & 0xFFFF), static_cast<uint16_t>(SRCCOPY >> 16),
                       static_cast<uint16_t>(DIB_RGB_COLORS), static_cast<uint16_t>(image.srcHeight),
                       static_cast<uint16_t>(image.srcWidth), 0, 0, static_cast<uint16_t>(h), static_cast<uint16_t>(w),
                       static_cast<uint16_t>(d.top), static_cast<uint16_t>(d.left)},
                      &image.dib);
        }
        putRecord(out, 0, {});  // the end
        // Sizes in words: the whole metafile (without a placeable header) and its largest record.
        uint32_t largest = 0;
        for (size_t at = records; at < out.size();) {
            uint32_t words = get32(out.data() + at);
            largest = std::max(largest, words);
            at += static_cast<size_t>(words) * 2;
        }
        uint32_t total = static_cast<uint32_t>((out.size() - header) / 2);
        for (int i = 0; i < 4; ++i) out[header + 6 + i] = static_cast<BYTE>(total >> (8 * i));
        for (int i = 0; i < 4; ++i) out[header + 12 + i] = static_cast<BYTE>(largest >> (8 * i));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!buffer) return static_cast<UINT>(out.size());
    if (size < out.size()) return 0;
    std::memcpy(buffer, out.data(), out.size());
    return static_cast<UINT>(out.size());
}
