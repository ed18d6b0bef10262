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
#include <jerror.h>
#include <jpeglib.h>
#include <memory>
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
    if (p.bpp == 8) {
        const RGBQUAD* palette = p.palette.data();
        for (UINT x = 0; x < p.width; ++x, out += 3) {
            const RGBQUAD& c = palette[in[x]];
            out[0] = c.rgbRed, out[1] = c.rgbGreen, out[2] = c.rgbBlue;
        }
    } else if (p.bpp == 1) {
        const RGBQUAD* palette = p.palette.data();
        for (UINT x = 0; x < p.width; ++x, out += 3) {
            const RGBQUAD& c = palette[(in[x >> 3] >> (7 - (x & 7))) & 1];
            out[0] = c.rgbRed, out[1] = c.rgbGreen, out[2] = c.rgbBlue;
        }
    } else {
        const int step = p.bpp / 8;
        for (UINT x = 0; x < p.width; ++x, out += 3, in += step) out[0] = in[2], out[1] = in[1], out[2] = in[0];
    }
}

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};
void jpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

constexpr size_t kSinkBuffer = 1 << 16;

// libjpeg's destination: a buffer handed to the sink whenever it fills.
struct JpegSink {
    jpeg_destination_mgr manager;
    FileSink* sink;
    BYTE buffer[kSinkBuffer];
};
void jpegInit(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<JpegSink*>(cinfo->dest);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = kSinkBuffer;
}
boolean jpegEmpty(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<JpegSink*>(cinfo->dest);
    d->sink->write(d->buffer, kSinkBuffer);
    if (d->sink->failed()) ERREXIT(cinfo, JERR_FILE_WRITE);
    jpegInit(cinfo);
    return TRUE;
}
void jpegTerm(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<JpegSink*>(cinfo->dest);
    d->sink->write(d->buffer, kSinkBuffer - d->manager.free_in_buffer);
}

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    static_cast<FileSink*>(png_get_io_ptr(png))->write(data, length);
}
void pngFlush(png_structp) {}
void pngWarning(png_structp, png_const_charp) {}
// Back to the caller's setjmp without a word on standard error.
void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

int gifWrite(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<FileSink*>(gif->UserData)->write(data, static_cast<size_t>(length));
    return length;
}

// libtiff over a file handle of the layer.
tsize_t tiffRead(thandle_t h, tdata_t data, tsize_t size) {
    DWORD read = 0;
    return ReadFile(static_cast<HANDLE>(h), data, static_cast<DWORD>(size), &read, nullptr) ? static_cast<tsize_t>(read) : -1;
}
tsize_t tiffWrite(thandle_t h, tdata_t data, tsize_t size) {
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(h), data, static_cast<DWORD>(size), &written, nullptr)
               ? static_cast<tsize_t>(written)
               : -1;
}
toff_t tiffSeek(thandle_t h, toff_t offset, int whence) {
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD method = whence == SEEK_SET ? FILE_BEGIN : whence == SEEK_CUR ? FILE_CURRENT : FILE_END;
    DWORD low = SetFilePointer(static_cast<HANDLE>(h), static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return static_cast<toff_t>(-1);
    return (static_cast<toff_t>(static_cast<DWORD>(high)) << 32) | low;
}
int tiffClose(thandle_t) { return 0; }  // the handle is closed by the caller
toff_t tiffSize(thandle_t h) {
    DWORD high = 0;
    DWORD low = GetFileSize(static_cast<HANDLE>(h), &high);
    return (static_cast<toff_t>(high) << 32) | low;
}
int tiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void tiffUnmap(thandle_t, tdata_t, toff_t) {}

}  // namespace

void FileSink::write(const void* data, size_t length) {
    if (failed_) return;
    const auto* bytes = static_cast<const BYTE*>(data);
    if (buffer_.size() + length > kSinkBuffer && !finish()) return;
    if (length >= kSinkBuffer) {
        DWORD written = 0;
        if (!WriteFile(file_, bytes, static_cast<DWORD>(length), &written, nullptr) || written != length) {
            failed_ = true;
            error_ = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        }
        return;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + length);
}

bool FileSink::finish() {
    if (!failed_ && !buffer_.empty()) {
        DWORD written = 0;
        if (!WriteFile(file_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr) ||
            written != buffer_.size()) {
            failed_ = true;
            error_ = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        }
        buffer_.clear();
    }
    if (failed_) SetLastError(error_);
    return !failed_;
}

bool encodeBmp(const GpBitmap& p, FileSink& sink) {
    // Bottom-up rows after the headers and the palette, exactly as long as that.
    int bpp = p.bpp;
    size_t entries = bpp <= 8 ? size_t{1} << bpp : 0;
    size_t stride = dibStride(p.width, bpp);
    size_t offBits = 14 + 40 + entries * 4;
    size_t total = offBits + stride * p.height;
    if (total > 0xFFFFFFFFu) return false;
    std::vector<BYTE> out;
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
    sink.write(out.data(), out.size());
    size_t rowBytes = std::min(stride, p.stride);
    std::vector<BYTE> padding(stride - rowBytes, 0);
    for (UINT y = p.height; y-- > 0 && !sink.failed();) {
        sink.write(p.row(y), rowBytes);
        if (!padding.empty()) sink.write(padding.data(), padding.size());
    }
    return !sink.failed();
}

bool encodeJpeg(const GpBitmap& p, int quality, FileSink& sink) {
    jpeg_compress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    auto destination = std::make_unique<JpegSink>();
    destination->sink = &sink;
    destination->manager.init_destination = jpegInit;
    destination->manager.empty_output_buffer = jpegEmpty;
    destination->manager.term_destination = jpegTerm;
    std::vector<BYTE> rgb(static_cast<size_t>(p.width) * 3);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &destination->manager;
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
    return !sink.failed();
}

bool encodePng(const GpBitmap& p, FileSink& sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &sink, pngWrite, pngFlush);
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
    return !sink.failed();
}

bool encodeGif(const GpBitmap& p, FileSink& sink) {
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
            return false;
    }
    int bits = p.bpp == 1 ? 1 : 8;
    colours.resize(size_t{1} << bits, GifColorType{0, 0, 0});
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    if (!map) return false;
    int error = 0;
    GifFileType* gif = EGifOpen(&sink, gifWrite, &error);
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
    return ok && !sink.failed();
}

bool encodeTiff(const GpBitmap& p, HANDLE file) {
    TIFF* tif = TIFFClientOpen("picture", "w", file, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                               tiffUnmap);
    if (!tif) return false;
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
    ok = ok && TIFFFlush(tif);
    TIFFClose(tif);
    return ok;
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
    HANDLE handle = CreateFileW(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Win32Error;
    GpStatus status = Ok;
    try {
        FileSink sink(handle);
        bool ok = false;
        switch (chosen->format) {
        case Format::bmp: ok = encodeBmp(*picture, sink); break;
        case Format::jpeg: ok = encodeJpeg(*picture, quality, sink); break;
        case Format::gif: ok = encodeGif(*picture, sink); break;
        case Format::tiff: ok = encodeTiff(*picture, handle); break;
        case Format::png: ok = encodePng(*picture, sink); break;
        }
        // A failed write is the file's failure; anything else the encoder's.
        bool written = sink.finish();
        status = !written ? Win32Error : ok ? Ok : GenericError;
    } catch (const std::bad_alloc&) {
        status = OutOfMemory;
    }
    DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return status;
}
