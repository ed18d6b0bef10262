// The stand-in image-encoding library: the six exports of the scan application's contract
// (scan/twainapp/ImageEncoder.h), writing real files: BMP by hand, JPEG with libjpeg, TIFF with
// libtiff (one page per call into one file), and a PDF of the listed pages in list order, each page
// kept until then as a raw file in the temporary folder whose path is the page's name.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

#include "ImageEncoder.h"
#include "platform/control.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/memory.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Picture {
    uint32_t width = 0, height = 0, bits = 0, bytesPerRow = 0, resolution = 0;
    std::vector<uint8_t> rows;  // top row first
    // One row as grey (1, 8 bits; line art 1 white) or RGB (24 bits) samples, width x components().
    void samplesInto(uint32_t row, uint8_t* out) const {
        const uint8_t* in = rows.data() + static_cast<size_t>(row) * bytesPerRow;
        if (bits == 24) {
            std::memcpy(out, in, 3 * static_cast<size_t>(width));
            return;
        }
        for (uint32_t x = 0; x < width; ++x) out[x] = bits == 8 ? in[x] : ((in[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0;
    }
    int components() const { return bits == 24 ? 3 : 1; }
};

bool readRecord(const SharedImageBuffer* record, Picture& picture) {
    if (!record || !record->hMapping) return false;
    picture.width = record->dwWidth;
    picture.height = record->dwHeight;
    picture.bits = record->dwBitsPerPixel;
    picture.bytesPerRow = record->dwBytesPerRow;
    picture.resolution = record->dwResolution;
    const uint64_t bytes = static_cast<uint64_t>(picture.bytesPerRow) * picture.height;
    if (picture.width == 0 || bytes == 0 || bytes > record->dwSize) return false;
    if (picture.bits != 1 && picture.bits != 8 && picture.bits != 24) return false;
    const void* view = MapViewOfFile(record->hMapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(bytes));
    if (!view) return false;
    const auto* begin = static_cast<const uint8_t*>(view);
    picture.rows.assign(begin, begin + bytes);
    UnmapViewOfFile(view);
    return true;
}

std::string host(LPCWSTR path) {
    auto mapped = path ? platform::hostPath(path) : std::nullopt;
    return mapped ? mapped->string() : std::string();
}

void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

int writeBmp(const Picture& p, const std::string& file) {
    const uint32_t rowBytes = ((p.bits * p.width + 31) / 32) * 4;
    const uint32_t colours = p.bits == 24 ? 0 : 1u << p.bits;
    const uint32_t offset = 14 + 40 + 4 * colours;
    std::string out;
    out += "BM";
    put32(out, offset + rowBytes * p.height);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, p.width);
    put32(out, p.height);
    put16(out, 1);
    put16(out, static_cast<uint16_t>(p.bits));
    put32(out, 0);
    put32(out, rowBytes * p.height);
    const uint32_t perMetre = static_cast<uint32_t>(p.resolution * 10000.0 / 254.0 + 0.5);
    put32(out, perMetre);
    put32(out, perMetre);
    put32(out, colours);
    put32(out, 0);
    for (uint32_t i = 0; i < colours; ++i) {
        const char grey = static_cast<char>(colours == 2 ? i * 255 : i);
        out += grey;
        out += grey;
        out += grey;
        out += '\0';
    }
    for (uint32_t r = p.height; r-- > 0;) {
        std::string row(rowBytes, '\0');
        const uint8_t* in = p.rows.data() + static_cast<size_t>(r) * p.bytesPerRow;
        std::memcpy(row.data(), in, std::min(rowBytes, p.bytesPerRow));
        if (p.bits == 24)
            for (uint32_t x = 0; x < p.width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        out += row;
    }
    std::ofstream file_(file, std::ios::binary | std::ios::trunc);
    file_.write(out.data(), static_cast<std::streamsize>(out.size()));
    return file_.good() ? 1 : 0;
}

// libjpeg's errors come back here instead of ending the process (its default error exit does).
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jpegFailed(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// The compression itself, in a frame that holds nothing to destroy, so that an error may jump out of
// it; false when libjpeg refused the picture (one beyond its 65,500 pixels a side, for one).
bool compressJpeg(jpeg_compress_struct& cinfo, JpegError& error, FILE* out, const Picture& p, int quality,
                  uint8_t* row) {
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFailed;
    if (setjmp(error.jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = p.width;
    cinfo.image_height = p.height;
    cinfo.input_components = p.components();
    cinfo.in_color_space = p.components() == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = cinfo.Y_density = static_cast<UINT16>(p.resolution);
    jpeg_start_compress(&cinfo, TRUE);
    for (uint32_t r = 0; r < p.height; ++r) {
        p.samplesInto(r, row);
        JSAMPROW pointer = row;
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

// 1, or 0 (and no file left) when the file cannot be made or libjpeg refuses the picture.
int writeJpeg(const Picture& p, const std::string& file, int quality) {
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) return 0;
    std::vector<uint8_t> row(static_cast<size_t>(p.width) * p.components());
    jpeg_compress_struct cinfo{};
    JpegError error{};
    const bool ok = compressJpeg(cinfo, error, out, p, quality, row.data());
    jpeg_destroy_compress(&cinfo);  // also after a failure, and harmless before the object was made
    std::fclose(out);
    if (!ok) std::remove(file.c_str());
    return ok ? 1 : 0;
}

int writeTiffPage(const Picture& p, const std::string& file, int page) {
    TIFF* tiff = TIFFOpen(file.c_str(), page <= 1 ? "w" : "a");
    if (!tiff) return 0;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, p.bits == 1 ? 1 : 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, p.components());
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 p.bits == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);  // line art: 1 white
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, p.bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(p.resolution));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(p.resolution));
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page - 1), static_cast<uint16_t>(0));
    bool ok = true;
    for (uint32_t r = 0; r < p.height && ok; ++r) {
        std::vector<uint8_t> row(p.rows.begin() + static_cast<std::ptrdiff_t>(r) * p.bytesPerRow,
                                 p.rows.begin() + static_cast<std::ptrdiff_t>(r + 1) * p.bytesPerRow);
        ok = TIFFWriteScanline(tiff, row.data(), r, 0) >= 0;
    }
    ok = TIFFWriteDirectory(tiff) && ok;
    TIFFClose(tiff);
    return ok ? 1 : 0;
}

// A page kept for the PDF: the record's values and rows in a raw file.
bool savePageFile(const Picture& p, const std::string& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const uint32_t header[5] = {p.width, p.height, p.bits, p.bytesPerRow, p.resolution};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(p.rows.data()), static_cast<std::streamsize>(p.rows.size()));
    return out.good();
}

bool loadPageFile(const std::string& file, Picture& p) {
    std::ifstream in(file, std::ios::binary);
    uint32_t header[5] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    p.width = header[0];
    p.height = header[1];
    p.bits = header[2];
    p.bytesPerRow = header[3];
    p.resolution = header[4] ? header[4] : 72;
    p.rows.assign(static_cast<size_t>(p.bytesPerRow) * p.height, 0);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(p.rows.data()), static_cast<std::streamsize>(p.rows.size())));
}

// A PDF with one page per picture, each an uncompressed image filling a page of its size in points.
int writePdf(const std::vector<Picture>& pages, const std::string& file) {
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(out.size());
        out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    const size_t n = pages.size();
    // Objects: 1 catalog, 2 pages, then per page: page, contents, image.
    object("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (size_t i = 0; i < n; ++i) kids += std::to_string(3 + 3 * i) + " 0 R ";
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
    for (size_t i = 0; i < n; ++i) {
        const Picture& p = pages[i];
        const double w = p.width * 72.0 / p.resolution, h = p.height * 72.0 / p.resolution;
        char box[64];
        snprintf(box, sizeof box, "%.2f %.2f", w, h);
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::string(box) + "] /Contents " +
               std::to_string(4 + 3 * i) + " 0 R /Resources << /XObject << /Im0 " + std::to_string(5 + 3 * i) +
               " 0 R >> >> >>");
        const std::string content = "q " + std::string(box).replace(std::string(box).find(' '), 1, " 0 0 ") +
                                    " 0 0 cm /Im0 Do Q";
        object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
        std::string data;
        const uint32_t rowBytes = p.bits == 24 ? 3 * p.width : p.bits == 8 ? p.width : (p.width + 7) / 8;
        for (uint32_t r = 0; r < p.height; ++r)
            data.append(reinterpret_cast<const char*>(p.rows.data()) + static_cast<size_t>(r) * p.bytesPerRow, rowBytes);
        object("<< /Type /XObject /Subtype /Image /Width " + std::to_string(p.width) + " /Height " +
               std::to_string(p.height) + " /ColorSpace " + (p.bits == 24 ? "/DeviceRGB" : "/DeviceGray") +
               " /BitsPerComponent " + (p.bits == 1 ? "1" : "8") + " /Length " + std::to_string(data.size()) +
               " >>\nstream\n" + data + "\nendstream");
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[24];
        snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(out.data(), static_cast<std::streamsize>(out.size()));
    return stream.good() ? 1 : 0;
}

}  // namespace

STANDIN_EXPORT int WINAPI SaveFile(SharedImageBuffer*, LPCWSTR) { return 0; }

STANDIN_EXPORT int WINAPI SaveAsBMP(SharedImageBuffer* record, LPCWSTR path) {
    Picture p;
    return readRecord(record, p) ? writeBmp(p, host(path)) : 0;
}

STANDIN_EXPORT int WINAPI SaveAsJPG(SharedImageBuffer* record, LPCWSTR path, int quality) {
    Picture p;
    return readRecord(record, p) ? writeJpeg(p, host(path), quality) : 0;
}

STANDIN_EXPORT int WINAPI SaveAsTIFF(SharedImageBuffer* record, LPCWSTR path, int page) {
    Picture p;
    return readRecord(record, p) ? writeTiffPage(p, host(path), page) : 0;
}

STANDIN_EXPORT int WINAPI PDF_AddPage(SharedImageBuffer* record, CString* pageName) {
    Picture p;
    if (!pageName || !readRecord(record, p)) return 0;
    WCHAR folder[MAX_PATH] = {}, file[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, u"Pg", 0, file) == 0) return 0;
    if (!savePageFile(p, host(file))) return 0;
    *pageName = file;
    return 1;
}

STANDIN_EXPORT int WINAPI PDF_Finish(CStringArray* pages, int, int, int, int, LPCWSTR pdfPath) {
    if (!pages) return 0;
    std::vector<Picture> pictures;
    for (INT_PTR i = 0; i < pages->GetSize(); ++i) {
        Picture p;
        if (!pages->GetAt(i).IsEmpty() && loadPageFile(host(pages->GetAt(i)), p)) pictures.push_back(std::move(p));
    }
    const int result = pictures.empty() ? 0 : writePdf(pictures, host(pdfPath));
    for (INT_PTR i = 0; i < pages->GetSize(); ++i)
        if (!pages->GetAt(i).IsEmpty()) DeleteFileW(pages->GetAt(i));
    return result;
}
