// The single-page PDF writer: objects written one after the other with CR line ends, their end
// offsets kept for the cross-reference section.
#include "PdfStreamWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "PictureWriter.h"
#include "WriterSupport.h"
#include "win/crt.h"
#include "win/files.h"
#include "win/gdiplus.h"
#include "win/memory.h"
#include "win/time.h"

namespace {

constexpr int kObjectsBeforePages = 5;  // 1 to 5; the page tree, 6, is written last
constexpr int kObjectsPerPage = 4;
constexpr double kMaxQualityDrop = 70;
constexpr double kQualityDpi = 600;

// The writer's state, one for the process.
struct PdfState {
    FILE* file = nullptr;
    std::vector<long> offsets;  // the end of each object written; [0] the end of the header
    int page = 1;
    int width = 0;
    int height = 0;
    int resolution = 0;
    bool failed = false;  // a write failed
};
PdfState& State() {
    static PdfState state;
    return state;
}

void Write(const void* bytes, size_t length) {
    PdfState& s = State();
    if (length && std::fwrite(bytes, 1, length, s.file) != length) s.failed = true;
}

void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Print(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) Write(text, static_cast<size_t>(n));
}

// Marks the end of an object.
void EndObject() { State().offsets.push_back(std::ftell(State().file)); }

int Points(int pixels, int resolution) { return static_cast<int>(pixels * 72.0 / resolution); }

// A file's bytes; false when it cannot be read whole.
bool ReadWholeFile(const std::u16string& path, std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0;
    if (ok) {
        bytes.resize(size);
        DWORD read = 0;
        ok = ReadFile(file, bytes.data(), size, &read, nullptr) && read == size;
    }
    CloseHandle(file);
    return ok;
}

// The page as a JPEG at the quality of its resolution, through a temporary file named by the time.
bool JpegOf(GpImage* image, int resolution, std::vector<BYTE>& bytes) {
    int quality = static_cast<int>(100 - resolution / kQualityDpi * kMaxQualityDrop);
    WriterDebug("nResolution: %d", resolution);
    WriterDebug("Quality: %d", quality);
    CLSID encoder{};
    std::u16string folder = WriterTempFolder();
    if (folder.empty() || GetEncoderClsid(u"image/jpeg", &encoder) < 0) return false;
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d%02d%02d%02d%02d%02d", t.wYear % 1000, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    std::u16string name = CreateUniqueFile([&](int n) {
        return folder + WideOf(stamp) + (n ? u"-" + WideOf(std::to_string(n)) : u"") + u".jpg";
    });
    if (name.empty()) return false;
    LONG value = quality;
    EncoderParameters parameters{};
    parameters.Count = 1;
    parameters.Parameter[0].Guid = EncoderQuality;
    parameters.Parameter[0].Type = EncoderParameterValueTypeLong;
    parameters.Parameter[0].NumberOfValues = 1;
    parameters.Parameter[0].Value = &value;
    bool ok = GdipSaveImageToFile(image, name.c_str(), &encoder, &parameters) == Ok && ReadWholeFile(name, bytes);
    DeleteFileW(name.c_str());
    return ok;
}

// The rows of a 1-bit page, top-down and unpadded, through a temporary BMP (whose rows are
// bottom-up) mapped into memory.
bool BitsOf(GpImage* image, int width, int height, std::vector<BYTE>& bytes) {
    CLSID encoder{};
    std::u16string folder = WriterTempFolder();
    if (folder.empty() || GetEncoderClsid(u"image/bmp", &encoder) < 0) return false;
    std::u16string name = CreateUniqueFile(
        [&](int n) { return folder + u"temp" + (n ? WideOf(std::to_string(n)) : u"") + u".bmp"; });
    if (name.empty()) return false;
    bool ok = false;
    if (GdipSaveImageToFile(image, name.c_str(), &encoder, nullptr) == Ok) {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD size = GetFileSize(file, nullptr);
            HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
            const BYTE* view = mapping ? static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
            size_t stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
            size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
            // The rows end the file: a file too short for them is refused.
            if (view && size != INVALID_FILE_SIZE && stride * height <= size) {
                bytes.resize(rowBytes * height);
                const BYTE* end = view + size;
                for (int y = 0; y < height; ++y)
                    std::copy_n(end - (y + 1) * stride, rowBytes, bytes.begin() + static_cast<ptrdiff_t>(y * rowBytes));
                ok = true;
            }
            if (view) UnmapViewOfFile(view);
            if (mapping) CloseHandle(mapping);
            CloseHandle(file);
        }
    }
    DeleteFileW(name.c_str());
    return ok;
}

}  // namespace

void OpenPdf(LPCWSTR path) {
    PdfState& s = State();
    if (s.file) return;
    WriterDebug("try to open PDF");
    s.file = _wfopen(path, u"wb");
    if (!s.file) return;
    WriterDebug("Create PDF");
    OutputDebugStringW(path);
    s.offsets.clear();
    s.page = 1;
    s.failed = false;
    Print("%%PDF-1.3 \r");
    EndObject();
    Print("1 0 obj\rendobj\r");
    EndObject();
    Print("2 0 obj\r<<\r/Type /Catalog\r/Pages 6 0 R\r>>\rendobj\r");
    EndObject();
    Print("3 0 obj\rendobj\r");
    EndObject();
    Print("4 0 obj\rendobj\r");
    EndObject();
    Print("5 0 obj\r<</Creator(%s)/Title()/Author()/Subject(image)/Producer(%s)>>\rendobj\r", "", "Orlith");
    EndObject();
}

int AddPdfPage(IStream* stream) {
    PdfState& s = State();
    if (!s.file || !stream) return -1;
    GpImage* image = nullptr;
    if (GdipLoadImageFromStream(stream, &image) != Ok) return -1;
    UINT width = 0, height = 0;
    REAL dpi = 0;
    PixelFormat format = 0;
    GdipGetImageWidth(image, &width);
    GdipGetImageHeight(image, &height);
    GdipGetImageVerticalResolution(image, &dpi);
    GdipGetImagePixelFormat(image, &format);
    // GDI+ reports 299.9994 dpi for 11811 pixels per metre: the nearest whole number is meant.
    int resolution = static_cast<int>(std::lround(dpi));
    int bits = format == PixelFormat24bppRGB ? 24 : format == PixelFormat8bppIndexed ? 8
                                                  : format == PixelFormat1bppIndexed ? 1 : 0;
    std::vector<BYTE> bytes;
    bool converted = bits != 0 && resolution > 0 &&
                     (bits == 1 ? BitsOf(image, static_cast<int>(width), static_cast<int>(height), bytes)
                                : JpegOf(image, resolution, bytes));
    GdipDisposeImage(image);
    if (!converted) return -1;

    const int n = s.page;
    const int w = Points(static_cast<int>(width), resolution);
    const int h = Points(static_cast<int>(height), resolution);
    char drawing[128];
    int drawingLength = std::snprintf(drawing, sizeof drawing, "q\r%d 0 0 %d 0 0 cm \r/im%d Do\rQ\r", w, h, n);
    Print("%d 0 obj\r<<\r/Length %d 0 R\r>>\rstream\r\n%sendstream\rendobj\r", 4 * n + 3, 4 * n + 4, drawing);
    EndObject();
    Print("%d 0 obj\r%d\rendobj\r", 4 * n + 4, drawingLength);
    EndObject();
    Print("%d 0 obj\r<<\r/Type /Page\r/Parent 6 0 R\r/Resources <<\r/XObject <<\r/im%d %d 0 R \r>>\r/ProcSet [/PDF %s]"
          "\r>>\r/Contents [ %d 0 R ]\r/MediaBox [ 0 0 %d %d ]\r>>\rendobj\r",
          4 * n + 5, n, 4 * n + 6, bits == 1 ? "/ImageB" : "/ImageC", 4 * n + 3, w, h);
    EndObject();
    Print("%d 0 obj\r<<\r/Type /XObject\r/Subtype /Image\r/Name /im%d\r/Width %u\r/Height %u%s\r/Length %zu\r>>\rstream\r\n",
          4 * n + 6, n, width, height,
          bits == 1 ? "\r/BitsPerComponent 1\r/ColorSpace /DeviceGray"
                    : "\r/Filter /DCTDecode\r/BitsPerComponent 8\r/ColorSpace /DeviceRGB ",
          bytes.size());
    Write(bytes.data(), bytes.size());
    Print("\rendstream\rendobj\r");
    EndObject();
    s.width = w;
    s.height = h;
    s.resolution = resolution;
    ++s.page;
    return 0;
}

bool ClosePdf() {
    PdfState& s = State();
    if (!s.file) return true;
    const int pages = s.page - 1;
    Print("6 0 obj\r<<\r/Kids [");
    for (int i = 0; i < pages; ++i) Print("%d 0 R ", 4 * i + 9);
    Print("]\r/Count %d\r/Type /Pages\r/MediaBox [ 0 0 %d %d ]\r>>\rendobj\r", pages, s.width, s.height);
    EndObject();
    // Where each object begins: 1 to 5 after the object before them, 6 after the last page object,
    // 7 onward after the object before them.
    const int objects = kObjectsBeforePages + 1 + kObjectsPerPage * pages;
    const long lastPageEnd = s.offsets[static_cast<size_t>(kObjectsBeforePages + kObjectsPerPage * pages)];
    long xref = std::ftell(s.file);
    Print("xref\r0 %d\r0000000000 65535 f \r", objects + 1);
    for (int id = 1; id <= objects; ++id) {
        long start = id <= kObjectsBeforePages ? s.offsets[static_cast<size_t>(id - 1)]
                     : id == kObjectsBeforePages + 1 ? lastPageEnd
                                                     : s.offsets[static_cast<size_t>(id - 2)];
        Print("%010ld 00000 n \r", start);
    }
    Print("trailer\r<<\r/Size %d\r/Root 2 0 R\r/Info 5 0 R\r>>\rstartxref\r%ld\r%%%%EOF\r", objects + 1, xref);
    bool ok = !s.failed && std::ferror(s.file) == 0;
    if (std::fclose(s.file) != 0) ok = false;
    WriterDebug("Close PDF");
    s = PdfState{};
    return ok;
}

int SavePdfPage(IStream* stream, LPCWSTR path) {
    if (!stream) return -1;
    OpenPdf(path);
    if (!State().file) return -1;
    int added = AddPdfPage(stream);
    bool closed = ClosePdf();
    return added == 0 && closed ? 0 : -1;
}
