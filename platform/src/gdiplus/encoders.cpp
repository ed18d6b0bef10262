// The encoder list and saving pictures: BMP (our own writer), JPEG (libjpeg-turbo), PNG (libpng),
// GIF (giflib) and TIFF (libtiff), each into memory, then to the file through the layer's file calls.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "images.h"
#include "win/files.h"

namespace platform::gdiplus {

namespace {

enum class Format { bmp, jpeg, gif, tiff, png };

// Class ids of our encoders and ids of their formats: ours, only ever compared with what the list says.
struct Encoder {
    Format format;
    CLSID clsid;
    GUID formatId;
    const char16_t* name;
    const char16_t* description;
    const char16_t* extensions;
    const char16_t* mime;
};
const Encoder kEncoders[] = {
    {Format::bmp, {0x6d667001, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x01}},
     {0x6d667101, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x01}}, u"Built-in BMP Codec", u"BMP",
     u"*.BMP;*.DIB;*.RLE", u"image/bmp"},
    {Format::jpeg, {0x6d667001, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x02}},
     {0x6d667101, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x02}}, u"Built-in JPEG Codec", u"JPEG",
     u"*.JPG;*.JPEG;*.JPE;*.JFIF", u"image/jpeg"},
    {Format::gif, {0x6d667001, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x03}},
     {0x6d667101, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x03}}, u"Built-in GIF Codec", u"GIF",
     u"*.GIF", u"image/gif"},
    {Format::tiff, {0x6d667001, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x04}},
     {0x6d667101, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x04}}, u"Built-in TIFF Codec", u"TIFF",
     u"*.TIF;*.TIFF", u"image/tiff"},
    {Format::png, {0x6d667001, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x05}},
     {0x6d667101, 0x2b1c, 0x4e5a, {0x91, 0x0b, 0x1a, 0x42, 0x7c, 0x55, 0x00, 0x05}}, u"Built-in PNG Codec", u"PNG",
     u"*.PNG", u"image/png"},
};
constexpr UINT kEncoderCount = sizeof kEncoders / sizeof kEncoders[0];
constexpr int kDefaultJpegQuality = 75;

size_t textBytes(const char16_t* text) { return (std::char_traits<char16_t>::length(text) + 1) * sizeof(char16_t); }

size_t listBytes() {
    size_t bytes = kEncoderCount * sizeof(ImageCodecInfo);
    for (const Encoder& e : kEncoders)
        bytes += textBytes(e.name) + textBytes(e.description) + textBytes(e.extensions) + textBytes(e.mime);
    return bytes;
}

void put16(std::vector<BYTE>& out, uint32_t v) {
    out.push_back(static_cast<BYTE>(v));
    out.push_back(static_cast<BYTE>(v >> 8));
}
void put32(std::vector<BYTE>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One row of a picture as red, green, blue bytes.
void rowToRgb(const GpBitmap& p, UINT y, BYTE* out) {
    const BYTE* in = p.row(y);
    for (UINT x = 0; x < p.width; ++x, out += 3) {
        if (p.bpp <= 8) {
            BYTE index = p.bpp == 1 ? (in[x >> 3] >> (7 - (x & 7))) & 1 : in[x];
            const RGBQUAD& c = p.palette[index];
            out[0] = c.rgbRed, out[1] = c.rgbGreen, out[2] = c.rgbBlue;
        } else {
            const BYTE* px = in + x * (p.bpp / 8);
            out[0] = px[2], out[1] = px[1], out[2] = px[0];
        }
    }
}

// Writes the bytes to a new file; Win32Error with the system error kept when it cannot.
GpStatus writeFile(const WCHAR* file, const std::vector<BYTE>& bytes) {
    HANDLE handle = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Win32Error;
    DWORD written = 0;
    BOOL ok = WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    DWORD error = GetLastError();
    CloseHandle(handle);
    if (!ok || written != bytes.size()) {
        SetLastError(ok ? ERROR_WRITE_FAULT : error);
        return Win32Error;
    }
    return Ok;
}

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};
void jpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}
void pngWarning(png_structp, png_const_charp) {}

int gifWrite(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<BYTE>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// libtiff over a growing block of memory.
struct TiffMemory {
    std::vector<BYTE> bytes;
    toff_t at = 0;
};
tsize_t tiffRead(thandle_t h, tdata_t data, tsize_t size) {
    auto* m = static_cast<TiffMemory*>(h);
    tsize_t n = std::min<tsize_t>(size, m->at < m->bytes.size() ? static_cast<tsize_t>(m->bytes.size() - m->at) : 0);
    std::memcpy(data, m->bytes.data() + m->at, n);
    m->at += n;
    return n;
}
tsize_t tiffWrite(thandle_t h, tdata_t data, tsize_t size) {
    auto* m = static_cast<TiffMemory*>(h);
    if (m->at + size > m->bytes.size()) m->bytes.resize(m->at + size);
    std::memcpy(m->bytes.data() + m->at, data, size);
    m->at += size;
    return size;
}
toff_t tiffSeek(thandle_t h, toff_t offset, int whence) {
    auto* m = static_cast<TiffMemory*>(h);
    toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->bytes.size();
    m->at = base + offset;
    return m->at;
}
int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t h) { return static_cast<TiffMemory*>(h)->bytes.size(); }
int tiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void tiffUnmap(thandle_t, tdata_t, toff_t) {}

}  // namespace

std::optional<std::vector<BYTE>> encodeBmp(const GpBitmap& p) {
    // Bottom-up rows after the headers and the palette, exactly as long as that.
    int bpp = p.bpp;
    size_t entries = bpp <= 8 ? size_t{1} << bpp : 0;
    size_t stride = dibStride(p.width, bpp);
    size_t offBits = 14 + 40 + entries * 4;
    size_t total = offBits + stride * p.height;
    if (total > 0xFFFFFFFFu) return std::nullopt;
    std::vector<BYTE> out;
    out.reserve(total);
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<uint32_t>(total));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(offBits));
    put32(out, 40);
    put32(out, p.width);
    put32(out, p.height);
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bpp));
    put32(out, 0);  // BI_RGB
    put32(out, static_cast<uint32_t>(stride * p.height));
    put32(out, static_cast<uint32_t>(pixelsPerMetre(p.dpiX)));
    put32(out, static_cast<uint32_t>(pixelsPerMetre(p.dpiY)));
    put32(out, static_cast<uint32_t>(entries));
    put32(out, 0);
    for (size_t i = 0; i < entries; ++i) {
        const RGBQUAD& c = p.palette[i];
        out.insert(out.end(), {c.rgbBlue, c.rgbGreen, c.rgbRed, 0});
    }
    size_t rowBytes = std::min(stride, p.stride);
    for (UINT y = p.height; y-- > 0;) {
        const BYTE* row = p.row(y);
        out.insert(out.end(), row, row + rowBytes);
        out.insert(out.end(), stride - rowBytes, 0);
    }
    return out;
}

std::optional<std::vector<BYTE>> encodeJpeg(const GpBitmap& p, int quality) {
    jpeg_compress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<BYTE> rgb(static_cast<size_t>(p.width) * 3);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return std::nullopt;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = p.width;
    cinfo.image_height = p.height;
    // Always three components, whatever the picture's format.
    bool bgr = p.bpp == 24;
    cinfo.input_components = 3;
    cinfo.in_color_space = bgr ? JCS_EXT_BGR : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(std::lround(p.dpiX));
    cinfo.Y_density = static_cast<UINT16>(std::lround(p.dpiY));
    jpeg_start_compress(&cinfo, TRUE);
    for (UINT y = 0; y < p.height; ++y) {
        JSAMPROW row;
        if (bgr) {
            row = const_cast<JSAMPROW>(p.row(y));
        } else {
            rowToRgb(p, y, rgb.data());
            row = rgb.data();
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<BYTE> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::optional<std::vector<BYTE>> encodePng(const GpBitmap& p) {
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngWarning);
    if (!png) return std::nullopt;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return std::nullopt;
    }
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    int type = p.bpp <= 8 ? PNG_COLOR_TYPE_PALETTE : p.format == PixelFormat32bppARGB ? PNG_COLOR_TYPE_RGBA
                                                                                        : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(png, info, p.width, p.height, p.bpp == 1 ? 1 : 8, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (p.bpp <= 8) {
        std::vector<png_color> colours;
        for (const RGBQUAD& c : p.palette) colours.push_back(png_color{c.rgbRed, c.rgbGreen, c.rgbBlue});
        png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    }
    png_set_pHYs(png, info, static_cast<png_uint_32>(pixelsPerMetre(p.dpiX)),
                 static_cast<png_uint_32>(pixelsPerMetre(p.dpiY)), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (p.bpp >= 24) png_set_bgr(png);
    if (p.format == PixelFormat32bppRGB) png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (UINT y = 0; y < p.height; ++y) png_write_row(png, const_cast<png_bytep>(p.row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::optional<std::vector<BYTE>> encodeGif(const GpBitmap& p) {
    // Indexed pictures keep their palette; colour ones are reduced to 256 colours by giflib.
    std::vector<GifColorType> colours;
    std::vector<GifByteType> indexes(static_cast<size_t>(p.width) * p.height);
    if (p.bpp <= 8) {
        for (const RGBQUAD& c : p.palette) colours.push_back(GifColorType{c.rgbRed, c.rgbGreen, c.rgbBlue});
        for (UINT y = 0; y < p.height; ++y) {
            const BYTE* in = p.row(y);
            GifByteType* o = indexes.data() + static_cast<size_t>(y) * p.width;
            for (UINT x = 0; x < p.width; ++x) o[x] = p.bpp == 1 ? (in[x >> 3] >> (7 - (x & 7))) & 1 : in[x];
        }
    } else {
        size_t n = indexes.size();
        std::vector<GifByteType> r(n), g(n), b(n);
        std::vector<BYTE> rgb(static_cast<size_t>(p.width) * 3);
        for (UINT y = 0; y < p.height; ++y) {
            rowToRgb(p, y, rgb.data());
            for (UINT x = 0; x < p.width; ++x) {
                size_t i = static_cast<size_t>(y) * p.width + x;
                r[i] = rgb[x * 3], g[i] = rgb[x * 3 + 1], b[i] = rgb[x * 3 + 2];
            }
        }
        int size = 256;
        colours.resize(256);
        if (GifQuantizeBuffer(p.width, p.height, &size, r.data(), g.data(), b.data(), indexes.data(),
                              colours.data()) != GIF_OK)
            return std::nullopt;
    }
    int bits = p.bpp == 1 ? 1 : 8;
    colours.resize(size_t{1} << bits, GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    if (!map) return std::nullopt;
    std::vector<BYTE> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &error);
    bool ok = gif != nullptr;
    if (ok) {
        EGifSetGifVersion(gif, true);
        ok = EGifPutScreenDesc(gif, static_cast<int>(p.width), static_cast<int>(p.height), bits, 0, map) == GIF_OK &&
             EGifPutImageDesc(gif, 0, 0, static_cast<int>(p.width), static_cast<int>(p.height), false, nullptr) ==
                 GIF_OK;
        for (UINT y = 0; ok && y < p.height; ++y)
            ok = EGifPutLine(gif, indexes.data() + static_cast<size_t>(y) * p.width, static_cast<int>(p.width)) ==
                 GIF_OK;
        ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    }
    GifFreeMapObject(map);
    if (!ok) return std::nullopt;
    return out;
}

std::optional<std::vector<BYTE>> encodeTiff(const GpBitmap& p) {
    TiffMemory memory;
    TIFF* tif = TIFFClientOpen("memory", "w", &memory, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                               tiffUnmap);
    if (!tif) return std::nullopt;
    bool indexed = p.bpp <= 8;
    int samples = indexed ? 1 : p.format == PixelFormat32bppARGB ? 4 : 3;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, indexed ? p.bpp : 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, indexed ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, static_cast<uint32_t>(-1)));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(p.dpiX));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(p.dpiY));
    if (samples == 4) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (indexed) {
        std::vector<uint16_t> r(p.palette.size()), g(p.palette.size()), b(p.palette.size());
        for (size_t i = 0; i < p.palette.size(); ++i) {
            r[i] = static_cast<uint16_t>(p.palette[i].rgbRed * 257);
            g[i] = static_cast<uint16_t>(p.palette[i].rgbGreen * 257);
            b[i] = static_cast<uint16_t>(p.palette[i].rgbBlue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    std::vector<BYTE> line(static_cast<size_t>(p.width) * 4 + 4);
    bool ok = true;
    for (UINT y = 0; ok && y < p.height; ++y) {
        const BYTE* in = p.row(y);
        if (indexed) {
            std::memcpy(line.data(), in, (static_cast<size_t>(p.width) * p.bpp + 7) / 8);
        } else if (samples == 3) {
            rowToRgb(p, y, line.data());
        } else {
            for (UINT x = 0; x < p.width; ++x) {
                line[x * 4] = in[x * 4 + 2], line[x * 4 + 1] = in[x * 4 + 1];
                line[x * 4 + 2] = in[x * 4], line[x * 4 + 3] = in[x * 4 + 3];
            }
        }
        ok = TIFFWriteScanline(tif, line.data(), y, 0) >= 0;
    }
    TIFFClose(tif);
    if (!ok) return std::nullopt;
    return std::move(memory.bytes);
}

}  // namespace platform::gdiplus

using namespace platform::gdiplus;

GpStatus WINGDIPAPI GdipGetImageEncodersSize(UINT* count, UINT* size) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!count || !size) return InvalidParameter;
    *count = kEncoderCount;
    *size = static_cast<UINT>(listBytes());
    return Ok;
}

GpStatus WINGDIPAPI GdipGetImageEncoders(UINT count, UINT size, ImageCodecInfo* encoders) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!encoders || count != kEncoderCount || size != listBytes()) return InvalidParameter;
    // The records first, then the texts they point at.
    auto* texts = reinterpret_cast<BYTE*>(encoders + kEncoderCount);
    auto place = [&](const char16_t* text) {
        size_t bytes = textBytes(text);
        std::memcpy(texts, text, bytes);
        auto* placed = reinterpret_cast<const WCHAR*>(texts);
        texts += bytes;
        return placed;
    };
    for (UINT i = 0; i < kEncoderCount; ++i) {
        const Encoder& e = kEncoders[i];
        ImageCodecInfo& info = encoders[i];
        info = ImageCodecInfo{};
        info.Clsid = e.clsid;
        info.FormatID = e.formatId;
        info.CodecName = place(e.name);
        info.DllName = nullptr;
        info.FormatDescription = place(e.description);
        info.FilenameExtension = place(e.extensions);
        info.MimeType = place(e.mime);
        info.Flags = ImageCodecFlagsEncoder | ImageCodecFlagsDecoder | ImageCodecFlagsSupportBitmap |
                     ImageCodecFlagsBuiltin;
        info.Version = 1;
    }
    return Ok;
}

GpStatus WINGDIPAPI GdipSaveImageToFile(GpImage* image, const WCHAR* file, const CLSID* encoder,
                                        const EncoderParameters* parameters) {
    if (GpStatus s = started(); s != Ok) return s;
    if (!image || !file || !encoder) return InvalidParameter;
    if (!known(image)) return InvalidParameter;
    GpBitmap* picture = bitmapOf(image);
    if (!picture) return NotImplemented;
    const Encoder* chosen = nullptr;
    for (const Encoder& e : kEncoders)
        if (e.clsid == *encoder) chosen = &e;
    if (!chosen) return FileNotFound;
    int quality = kDefaultJpegQuality;
    if (parameters) {
        for (UINT i = 0; i < parameters->Count; ++i) {
            const EncoderParameter& parameter = parameters->Parameter[i];
            if (!(parameter.Guid == EncoderQuality)) continue;
            if (chosen->format != Format::jpeg || parameter.Type != EncoderParameterValueTypeLong ||
                parameter.NumberOfValues != 1 || !parameter.Value)
                return InvalidParameter;
            LONG value = *static_cast<const LONG*>(parameter.Value);
            if (value < 0 || value > 100) return InvalidParameter;
            quality = static_cast<int>(value);
        }
    }
    try {
        std::optional<std::vector<BYTE>> bytes;
        switch (chosen->format) {
        case Format::bmp: bytes = encodeBmp(*picture); break;
        case Format::jpeg: bytes = encodeJpeg(*picture, quality); break;
        case Format::gif: bytes = encodeGif(*picture); break;
        case Format::tiff: bytes = encodeTiff(*picture); break;
        case Format::png: bytes = encodePng(*picture); break;
        }
        if (!bytes) return GenericError;
        return writeFile(file, *bytes);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
}
