// The picture, metafile and TIFF writers of a scanned page.
#include "PictureWriter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "PdfStreamWriter.h"
#include "WriterSupport.h"
#include "win/files.h"
#include "win/gdi.h"
#include "win/memory.h"

namespace {

constexpr LONGLONG kInfoHeaderAt = 14;     // past the bitmap file header
constexpr ULONG kHeaderAndPalette = 1064;  // info header and up to 256 palette entries
constexpr ULONG kInfoHeaderBytes = 40;
constexpr LONGLONG kFirstPaletteEntry = 54;
constexpr int kDpiStep = 75;
constexpr LONG kMaxTiffWidth = 1 << 20;

const char16_t* MimeTypeOf(int saveType) {
    switch (saveType) {
    case SAVE_TYPE_EMF: return u"image/emf";
    case SAVE_TYPE_BMP: return u"image/bmp";
    case SAVE_TYPE_TIF: return u"image/tiff";
    case SAVE_TYPE_JPG: return u"image/jpeg";
    case SAVE_TYPE_GIF: return u"image/gif";
    case SAVE_TYPE_PNG: return u"image/png";
    default: return u"image/wmf";
    }
}

HRESULT SeekTo(IStream* stream, LONGLONG offset) {
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    return stream->Seek(at, STREAM_SEEK_SET, nullptr);
}

// ---- libtiff over a file image in memory -------------------------------------------------------
// libtiff writes a page a strip at a time, and a strip is a row or two: thousands of small writes
// and seeks. They go into this image of the file instead, which is written to the file at once.
struct TiffImage {
    std::vector<BYTE> bytes;
    uint64_t at = 0;
};
TiffImage& ImageOf(thandle_t h) { return *static_cast<TiffImage*>(h); }

tsize_t TiffRead(thandle_t h, tdata_t data, tsize_t size) {
    TiffImage& image = ImageOf(h);
    if (size < 0) return -1;
    const uint64_t left = image.at < image.bytes.size() ? image.bytes.size() - image.at : 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, static_cast<uint64_t>(size)));
    if (n) std::memcpy(data, image.bytes.data() + image.at, n);
    image.at += n;
    return static_cast<tsize_t>(n);
}
tsize_t TiffWrite(thandle_t h, tdata_t data, tsize_t size) {
    TiffImage& image = ImageOf(h);
    if (size < 0) return -1;
    try {
        const uint64_t end = image.at + static_cast<uint64_t>(size);
        if (end > image.bytes.size()) image.bytes.resize(static_cast<size_t>(end));
    } catch (const std::exception&) {
        return -1;  // out of memory: libtiff fails the page
    }
    if (size) std::memcpy(image.bytes.data() + image.at, data, static_cast<size_t>(size));
    image.at += static_cast<uint64_t>(size);
    return size;
}
toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
    TiffImage& image = ImageOf(h);
    const uint64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? image.at : image.bytes.size();
    const auto signedOffset = static_cast<int64_t>(offset);  // libtiff's relative seeks may go back
    if (whence != SEEK_SET && signedOffset < 0 && static_cast<uint64_t>(-signedOffset) > from)
        return static_cast<toff_t>(-1);
    image.at = whence == SEEK_SET ? offset : from + offset;
    return image.at;
}
int TiffClose(thandle_t) { return 0; }  // the image is written and the file closed by the caller
toff_t TiffSize(thandle_t h) { return ImageOf(h).bytes.size(); }
int TiffMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void TiffUnmap(thandle_t, tdata_t, toff_t) {}

// Writes the image to the file and closes it; false when the write fails or falls short.
bool WriteTiffImage(HANDLE file, const TiffImage& image) {
    bool ok = image.bytes.size() <= 0xFFFFFFFFu;
    DWORD written = 0;
    if (ok && !image.bytes.empty())
        ok = WriteFile(file, image.bytes.data(), static_cast<DWORD>(image.bytes.size()), &written, nullptr) &&
             written == image.bytes.size();
    return CloseHandle(file) && ok;
}

// The TIFF resolution of a bitmap's pixels per metre: dots per inch raised to a multiple of 75.
int TiffDpi(LONG pixelsPerMetre) {
    int dpi = static_cast<int>(pixelsPerMetre * 25.4 / 1000);
    return kDpiStep * ((dpi + kDpiStep - 1) / kDpiStep);
}

// The reference device of a metafile: a memory DC holding a one-pixel DIB section of the format.
struct ReferenceDc {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    ~ReferenceDc() {
        if (dc && old) SelectObject(dc, old);
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
    }
};

// 0 with the DC made, or an error code.
int MakeReferenceDc(PixelFormat format, ReferenceDc& ref) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = 1;
    info.header.biHeight = 1;
    info.header.biPlanes = 1;
    switch (format) {
    case PixelFormat1bppIndexed:
        info.header.biBitCount = 1;
        info.header.biClrUsed = 2;
        info.colours[1] = RGBQUAD{255, 255, 255, 0};
        break;
    case PixelFormat8bppIndexed:
        info.header.biBitCount = 8;
        info.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i) info.colours[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        break;
    case PixelFormat24bppRGB: info.header.biBitCount = 24; break;
    default: return SAVE_OUT_OF_MEMORY;
    }
    void* bits = nullptr;
    ref.bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    ref.dc = CreateCompatibleDC(nullptr);
    if (!ref.bitmap || !ref.dc) return -1;
    ref.old = SelectObject(ref.dc, ref.bitmap);
    return ref.old ? 0 : -1;
}

// Turns the recorded EMF into a Windows metafile at the path. 0 or an error code.
int WriteWindowsMetafile(GpMetafile* metafile, LPCWSTR path) {
    HENHMETAFILE emf = nullptr;
    if (GpStatus s = GdipGetHemfFromMetafile(metafile, &emf); s != Ok) return GdipStatusToCode(s);
    int result = -1;
    UINT size = GdipEmfToWmfBits(emf, 0, nullptr, MM_ANISOTROPIC, EmfToWmfBitsFlagsEmbedEmf);
    if (size != 0) {
        auto* bits = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!bits) {
            result = SAVE_OUT_OF_MEMORY;
        } else {
            if (GdipEmfToWmfBits(emf, size, bits, MM_ANISOTROPIC, EmfToWmfBitsFlagsEmbedEmf) == size) {
                if (HMETAFILE wmf = SetMetaFileBitsEx(size, bits)) {
                    if (HMETAFILE copy = CopyMetaFileW(wmf, path)) {
                        DeleteMetaFile(copy);
                        result = 0;
                    }
                    DeleteMetaFile(wmf);
                }
            }
            VirtualFree(bits, 0, MEM_RELEASE);
        }
    }
    DeleteEnhMetaFile(emf);
    return result;
}

}  // namespace

int GdipStatusToCode(GpStatus status) {
    switch (status) {
    case Ok: return 0;
    case InvalidParameter: return SAVE_INVALID_ARGUMENT;
    case OutOfMemory: return SAVE_OUT_OF_MEMORY;
    default: return -1;
    }
}

int GetEncoderClsid(LPCWSTR mimeType, CLSID* clsid) {
    UINT count = 0, size = 0;
    GdipGetImageEncodersSize(&count, &size);
    if (size == 0) return -1;
    auto* encoders = static_cast<ImageCodecInfo*>(std::malloc(size));
    if (!encoders) return -1;
    int found = -1;
    if (GdipGetImageEncoders(count, size, encoders) == Ok) {
        std::u16string_view wanted(mimeType);
        for (UINT i = 0; i < count; ++i) {
            if (encoders[i].MimeType && wanted == encoders[i].MimeType) {
                *clsid = encoders[i].Clsid;
                found = static_cast<int>(i);
                break;
            }
        }
    }
    std::free(encoders);
    return found;
}

int GetEncoderForType(CLSID* clsid, int saveType) { return GetEncoderClsid(MimeTypeOf(saveType), clsid); }

int SavePageStream(IStream* stream, LPCWSTR path, int saveType) {
    if (!stream) return -1;
    switch (saveType) {
    case SAVE_TYPE_WMF:
    case SAVE_TYPE_EMF: return SaveMetafile(stream, path, saveType == SAVE_TYPE_EMF, false);
    case SAVE_TYPE_TIF: return SaveTiff(stream, path);
    case SAVE_TYPE_PDF:
        WriterDebug("save PDF!!!!!!!!!!!!!!!!!!!!1");
        return SavePdfPage(stream, path);
    case SAVE_TYPE_DOC: return -1;
    default: break;
    }
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromStream(stream, &bitmap) != Ok) return -1;
    int result = -1;
    CLSID encoder{};
    if (saveType <= SAVE_TYPE_PNG && GetEncoderForType(&encoder, saveType) >= 0 &&
        GdipSaveImageToFile(reinterpret_cast<GpImage*>(bitmap), path, &encoder, nullptr) == Ok)
        result = 0;
    GdipDisposeImage(reinterpret_cast<GpImage*>(bitmap));
    return result;
}

int SaveMetafile(IStream* stream, LPCWSTR path, bool enhanced, bool oneBit) {
    if (!stream || !path) return -1;
    GpImageAttributes* attributes = nullptr;
    if (GpStatus s = GdipCreateImageAttributes(&attributes); s != Ok) return GdipStatusToCode(s);
    // A Windows metafile is recorded into a temporary EMF first, under a name nobody else holds.
    std::u16string temporary;
    if (!enhanced) {
        std::u16string folder = WriterTempFolder();
        if (!folder.empty())
            temporary = CreateUniqueFile([&](int n) { return folder + u"ScanToUtil" + WideOf(std::to_string(n)) + u".emf"; });
        if (temporary.empty()) {
            GdipDisposeImageAttributes(attributes);
            return -1;
        }
    }
    LPCWSTR recordTo = enhanced ? path : temporary.c_str();
    GpImage* image = nullptr;
    GpMetafile* metafile = nullptr;
    int result = 0;
    if (GpStatus s = GdipLoadImageFromStream(stream, &image); s != Ok) result = GdipStatusToCode(s);
    if (result == 0) {
        PixelFormat format = 0;
        UINT width = 0, height = 0;
        GdipGetImagePixelFormat(image, &format);
        GdipGetImageWidth(image, &width);
        GdipGetImageHeight(image, &height);
        if (oneBit) format = PixelFormat1bppIndexed;
        ReferenceDc ref;
        result = MakeReferenceDc(format, ref);
        GpGraphics* graphics = nullptr;
        if (result == 0) {
            GpStatus s = GdipRecordMetafileFileName(recordTo, ref.dc, EmfTypeEmfPlusDual, nullptr, MetafileFrameUnitGdi,
                                                    nullptr, &metafile);
            if (s == Ok) s = GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(metafile), &graphics);
            if (s == Ok) {
                if (oneBit) {
                    s = GdipSetImageAttributesThreshold(attributes, ColorAdjustTypeDefault, TRUE, 0.5f);
                } else {
                    ColorMatrix identity{};
                    for (int i = 0; i < 5; ++i) identity.m[i][i] = 1.0f;
                    s = GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeDefault, TRUE, &identity, nullptr,
                                                          ColorMatrixFlagsDefault);
                }
            }
            if (s == Ok)
                s = GdipDrawImageRectRectI(graphics, image, 0, 0, static_cast<INT>(width), static_cast<INT>(height), 0, 0,
                                           static_cast<INT>(width), static_cast<INT>(height), UnitPixel, attributes,
                                           nullptr, nullptr);
            // Deleting the graphics ends the recording: the metafile's file is written then.
            if (graphics) {
                GpStatus ended = GdipDeleteGraphics(graphics);
                if (s == Ok) s = ended;
            }
            result = GdipStatusToCode(s);
        }
    }
    if (result == 0 && !enhanced) result = WriteWindowsMetafile(metafile, path);
    if (metafile) GdipDisposeImage(reinterpret_cast<GpImage*>(metafile));
    if (image) GdipDisposeImage(image);
    GdipDisposeImageAttributes(attributes);
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
    return result;
}

int SaveTiff(IStream* stream, LPCWSTR path) {
    if (!stream || !path) return -1;
    // The info header (and palette) after the file header.
    BYTE header[kHeaderAndPalette];
    ULONG read = 0;
    if (FAILED(SeekTo(stream, kInfoHeaderAt)) || FAILED(stream->Read(header, kHeaderAndPalette, &read)) ||
        read < kInfoHeaderBytes)
        return -1;
    BITMAPINFOHEADER info;
    std::memcpy(&info, header, sizeof info);
    LONG width = info.biWidth;
    LONG height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    int bits = info.biBitCount;
    if ((bits != 1 && bits != 8 && bits != 24) || width <= 0 || width > kMaxTiffWidth || height <= 0) return -1;
    int samples = bits == 24 ? 3 : 1;
    size_t stride = ((static_cast<size_t>(bits) * width + 31) / 32) * 4;
    int xDpi = TiffDpi(info.biXPelsPerMeter);
    int yDpi = TiffDpi(info.biYPelsPerMeter);

    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    TiffImage image;
    TIFF* tif = TIFFClientOpen("page", "w", &image, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                               TiffUnmap);
    if (!tif) {
        CloseHandle(file);
        return -1;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits / samples);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, static_cast<uint32_t>(-1)));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bits == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(xDpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(yDpi));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, 1, 1);
    TIFFSetField(tif, TIFFTAG_PAGENAME, "Page 1");

    // The rows follow the palette (none for 24 bits); a short read fails the page.
    int result = FAILED(SeekTo(stream, kFirstPaletteEntry + (bits == 24 ? 0 : 4LL << bits))) ? -1 : 0;
    std::vector<BYTE> row(stride);
    for (LONG y = 0; result == 0 && y < height; ++y) {
        ULONG got = 0;
        if (FAILED(stream->Read(row.data(), static_cast<ULONG>(stride), &got)) || got != stride) {
            result = -1;
            break;
        }
        if (bits == 24) {
            for (LONG x = 0; x < width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);  // B, G, R to R, G, B
        }
        if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == -1) result = -1;
    }
    // The directory is written here: a failure to write it fails the page too.
    if (result == 0 && !TIFFFlush(tif)) result = -1;
    TIFFClose(tif);
    // The file gets what libtiff made of the page, whole or not, as it would have written it.
    if (!WriteTiffImage(file, image)) result = -1;
    return result;
}
