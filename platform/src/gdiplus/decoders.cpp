// Decoders: BMP (our own reader), JPEG (libjpeg-turbo) and PNG (libpng), each over a byte range.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

#include "images.h"

namespace platform::gdiplus {

namespace {

uint32_t u32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t u16(const BYTE* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr REAL kDefaultDpi = 96;

REAL dpiOfPixelsPerMetre(int32_t ppm) { return ppm > 0 ? static_cast<REAL>(ppm * 0.0254) : kDefaultDpi; }

// libjpeg reports errors by calling error_exit, which must not return: back to the decoder's setjmp.
struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};
void jpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void jpegSilent(j_common_ptr, int) {}

}  // namespace

std::unique_ptr<GpBitmap> decodeBmp(std::vector<BYTE>&& bytes) {
    // File header, then an info header of 40 bytes or more (later versions add fields we do not need).
    if (bytes.size() < kFileHeaderBytes + kInfoHeaderBytes) return nullptr;
    const BYTE* info = bytes.data() + kFileHeaderBytes;
    uint32_t headerSize = u32(info);
    int32_t width = static_cast<int32_t>(u32(info + 4));
    int32_t height = static_cast<int32_t>(u32(info + 8));
    int bpp = u16(info + 14);
    uint32_t compression = u32(info + 16);
    uint32_t colours = u32(info + 32);
    uint32_t dataOffset = u32(bytes.data() + 10);
    if (headerSize < kInfoHeaderBytes || headerSize > bytes.size() - kFileHeaderBytes) return nullptr;
    if (width <= 0 || height == 0 || height == INT32_MIN || u16(info + 12) != 1 || compression != 0) return nullptr;
    if (bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
    UINT rows = static_cast<UINT>(height < 0 ? -static_cast<int64_t>(height) : height);
    if (static_cast<UINT>(width) > (1u << 20) || rows > (1u << 20)) return nullptr;
    auto picture = std::make_unique<GpBitmap>();
    picture->width = static_cast<UINT>(width);
    picture->height = rows;
    picture->bpp = bpp;
    picture->format = bpp == 1   ? PixelFormat1bppIndexed
                      : bpp == 8 ? PixelFormat8bppIndexed
                      : bpp == 24 ? PixelFormat24bppRGB
                                  : PixelFormat32bppRGB;
    picture->dpiX = dpiOfPixelsPerMetre(static_cast<int32_t>(u32(info + 24)));
    picture->dpiY = dpiOfPixelsPerMetre(static_cast<int32_t>(u32(info + 28)));
    if (bpp <= 8) {
        size_t entries = colours ? colours : (size_t{1} << bpp);
        if (entries > (size_t{1} << bpp)) return nullptr;
        size_t tableAt = kFileHeaderBytes + headerSize;
        if (tableAt + entries * 4 > bytes.size()) return nullptr;
        picture->palette.resize(size_t{1} << bpp, RGBQUAD{0, 0, 0, 0});
        std::memcpy(picture->palette.data(), bytes.data() + tableAt, entries * 4);
    }
    picture->stride = dibStride(picture->width, bpp);
    uint64_t need = static_cast<uint64_t>(picture->stride) * rows;
    if (dataOffset < kFileHeaderBytes + headerSize || dataOffset > bytes.size() || need > bytes.size() - dataOffset)
        return nullptr;
    picture->offset = dataOffset;
    picture->bottomUp = height > 0;
    picture->data = std::move(bytes);
    return picture;
}

std::unique_ptr<GpBitmap> decodeJpeg(const std::vector<BYTE>& bytes) {
    jpeg_decompress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    error.manager.emit_message = jpegSilent;
    std::unique_ptr<GpBitmap> picture;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    bool grey = cinfo.num_components == 1;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    picture = makeBitmap(cinfo.output_width, cinfo.output_height, grey ? 8 : 24);
    if (!picture) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    if (cinfo.density_unit == 1 || cinfo.density_unit == 2) {
        REAL scale = cinfo.density_unit == 2 ? 2.54f : 1.0f;
        if (cinfo.X_density) picture->dpiX = cinfo.X_density * scale;
        if (cinfo.Y_density) picture->dpiY = cinfo.Y_density * scale;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = picture->row(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return picture;
}

namespace {

struct PngSource {
    const std::vector<BYTE>* bytes;
    size_t at = 0;
};
void pngRead(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->bytes->size() - source->at) png_error(png, "cut short");
    std::memcpy(out, source->bytes->data() + source->at, length);
    source->at += length;
}
void pngWarning(png_structp, png_const_charp) {}

}  // namespace

std::unique_ptr<GpBitmap> decodePng(const std::vector<BYTE>& bytes) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, pngWarning);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    std::unique_ptr<GpBitmap> picture;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return nullptr;
    }
    PngSource source{&bytes};
    png_set_read_fn(png, &source, pngRead);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    // One-bit grey and palettes of 1 or 8 bits stay as they are; other palettes and greys become
    // 8 bits; colour becomes blue, green, red (with alpha when the file has it).
    int bpp = 24;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        bpp = depth == 1 ? 1 : 8;
        if (depth != 1) png_set_packing(png);
    } else if (type == PNG_COLOR_TYPE_GRAY) {
        bpp = depth == 1 ? 1 : 8;
        if (depth == 16) png_set_strip_16(png);
        if (depth == 2 || depth == 4) png_set_expand_gray_1_2_4_to_8(png);
    } else {
        if (depth == 16) png_set_strip_16(png);
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        png_set_bgr(png);
        bpp = (type & PNG_COLOR_MASK_ALPHA) ? 32 : 24;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    picture = makeBitmap(width, height, bpp);
    if (!picture) {
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp colours = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &colours, &count)) {
            for (int i = 0; i < count && i < static_cast<int>(picture->palette.size()); ++i)
                picture->palette[i] = RGBQUAD{colours[i].blue, colours[i].green, colours[i].red, 0};
        }
    }
    png_uint_32 ppmX = 0, ppmY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &ppmX, &ppmY, &unit) && unit == PNG_RESOLUTION_METER) {
        picture->dpiX = static_cast<REAL>(ppmX * 0.0254);
        picture->dpiY = static_cast<REAL>(ppmY * 0.0254);
    }
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = picture->row(y);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return picture;
}

}  // namespace platform::gdiplus
