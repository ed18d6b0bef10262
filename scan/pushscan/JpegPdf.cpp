// The PDF of a multi-page job from its temporary JPEG pages.
#include "JpegPdf.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "win/files.h"
#include "win/kernel.h"

namespace {

constexpr size_t kHeaderChars = 64;
constexpr size_t kTailChars = 110316;
constexpr int kXrefSlots = 5003;  // ids 0 and 1, five per page for 1000 pages, the catalog
constexpr size_t kImageHeadChars = 256;
constexpr size_t kPageRestChars = 1024;
constexpr int kFirstPageId = 2;
constexpr int kIdsPerPage = 5;
constexpr DWORD kCopyChunk = 1 << 16;

// Appends formatted text to a fixed buffer; false (and nothing appended) when it would not fit.
bool appendf(char* buffer, size_t capacity, size_t& length, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
bool appendf(char* buffer, size_t capacity, size_t& length, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer + length, capacity - length, format, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= capacity - length) {
        buffer[length] = '\0';
        return false;
    }
    length += static_cast<size_t>(n);
    return true;
}

// A file's bytes read whole through the file calls; false when it cannot be read.
bool readFile(LPCWSTR path, std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

}  // namespace

struct PdfPage {
    PdfPage* next;
    WCHAR jpegPath[MAX_PATH];
    DWORD jpegLength;
    int width;
    int height;
    int pageId;
    char imageHead[kImageHeadChars];  // the image object up to its stream's bytes
    size_t imageHeadLength;
    char rest[kPageRestChars];  // the end of the image stream and the page's four other objects
    size_t restLength;
};

struct PdfWriter {
    PdfPage* first;
    PdfPage* last;
    char header[kHeaderChars];
    size_t headerLength;
    char tail[kTailChars];
    size_t tailLength;
    char xref[kXrefSlots][PDF_XREF_ENTRY_CHARS];
    int width;
    int height;
    uint64_t offset;  // the bytes that precede the next object in the file
    int pageCount;
    int imageCount;
    int nextId;
};

namespace {

void freeWriter(PdfWriter* w) {
    for (PdfPage* page = w->first; page;) {
        PdfPage* next = page->next;
        delete page;
        page = next;
    }
    delete w;
}

// Copies a page's JPEG file into the PDF; false when the bytes copied differ from the length recorded
// or a write fails.
bool copyJpeg(HANDLE out, const PdfPage& page) {
    HANDLE in = CreateFileW(page.jpegPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    std::vector<BYTE> chunk(kCopyChunk);
    DWORD copied = 0;
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in, chunk.data(), kCopyChunk, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        DWORD written = 0;
        if (!WriteFile(out, chunk.data(), read, &written, nullptr) || written != read) {
            ok = false;
            break;
        }
        copied += read;
    }
    CloseHandle(in);
    return ok && copied == page.jpegLength;
}

bool writeText(HANDLE out, const char* text, size_t length) {
    DWORD written = 0;
    return WriteFile(out, text, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

}  // namespace

bool FormatXrefEntry(uint64_t offset, char (&entry)[PDF_XREF_ENTRY_CHARS]) {
    if (offset > PDF_MAX_OFFSET) return false;
    std::snprintf(entry, PDF_XREF_ENTRY_CHARS, "%010llu 00000 %c\r\n", static_cast<unsigned long long>(offset), 'n');
    return true;
}

std::optional<JpegFrame> ReadJpegFrame(const BYTE* bytes, size_t length) {
    if (!bytes || length < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
    size_t at = 2;
    while (at + 4 <= length) {
        if (bytes[at] != 0xFF) return std::nullopt;
        BYTE marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a segment
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end of image or scan before a frame
        size_t segment = static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3];
        if (segment < 2 || segment > length - at - 2) return std::nullopt;
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (segment < 8) return std::nullopt;
            const BYTE* f = bytes + at + 4;
            JpegFrame result;
            result.height = f[1] << 8 | f[2];
            result.width = f[3] << 8 | f[4];
            result.components = f[5];
            if (result.width == 0 || result.height == 0) return std::nullopt;
            return result;
        }
        at += 2 + segment;
    }
    return std::nullopt;
}

PdfWriter* PDF_New(int width, int height) {
    auto* w = new (std::nothrow) PdfWriter{};
    if (!w) return nullptr;
    w->width = width;
    w->height = height;
    std::snprintf(w->xref[0], PDF_XREF_ENTRY_CHARS, "%010d 65535 f\r\n", 0);
    appendf(w->header, kHeaderChars, w->headerLength, "%%PDF-1.3\r\n%%%c---%c\r\n", 255, 255);
    w->offset = w->headerLength;
    w->nextId = kFirstPageId;
    return w;
}

int PDF_AddJpeg(LPCWSTR jpegPath, PdfWriter* w, int, int, int resolution, DWORD jpegLength) {
    if (!w || !jpegPath || w->pageCount >= PDF_MAX_PAGES || resolution <= 0) return PDF_ERROR;
    std::vector<BYTE> jpeg;
    if (!readFile(jpegPath, jpeg)) return PDF_ERROR;
    std::optional<JpegFrame> frame = ReadJpegFrame(jpeg.data(), jpeg.size());
    if (!frame || (frame->components != 1 && frame->components != 3)) return PDF_ERROR;
    auto* page = new (std::nothrow) PdfPage{};
    if (!page) return PDF_ERROR;
    size_t pathLength = std::char_traits<char16_t>::length(jpegPath);
    if (pathLength >= MAX_PATH) {
        delete page;
        return PDF_ERROR;
    }
    std::memcpy(page->jpegPath, jpegPath, (pathLength + 1) * sizeof(WCHAR));
    page->jpegLength = jpegLength;
    page->width = frame->width;
    page->height = frame->height;

    const int n = w->nextId;
    page->pageId = n + 1;
    const char* colourSpace = frame->components == 1 ? "DeviceGray" : "DeviceRGB";
    uint64_t offset = w->offset;
    // The image object: its text begins with the CR LF in front of its number.
    bool ok = FormatXrefEntry(offset, w->xref[n]);
    ok = ok && appendf(page->imageHead, kImageHeadChars, page->imageHeadLength,
                       "\r\n%d 0 obj\r\n<</Type/XObject/Subtype/Image/Filter/DCTDecode/BitsPerComponent 8/ColorSpace/"
                       "%s/Width %d/Height %d/Length %lu>>\r\nstream\r\n",
                       n, colourSpace, page->width, page->height, static_cast<unsigned long>(jpegLength));
    offset += page->imageHeadLength + uint64_t{jpegLength};
    // Then the end of the stream and the page, contents, length and resources objects, each entry at
    // the offset where its text begins.
    char drawing[128];
    size_t drawingLength = 0;
    double pointsWide = page->width * 72.0 / resolution;
    double pointsHigh = page->height * 72.0 / resolution;
    ok = ok && appendf(drawing, sizeof drawing, drawingLength, "q\r\n %.2f 0 0 %.2f 0 0 cm \r\n/I%d Do\r\nQ\r\n",
                       pointsWide, pointsHigh, w->imageCount);
    auto object = [&](int id, const char* format, auto... values) {
        if (id >= 0) ok = ok && FormatXrefEntry(offset, w->xref[id]);
        size_t before = page->restLength;
        ok = ok && appendf(page->rest, kPageRestChars, page->restLength, format, values...);
        offset += page->restLength - before;
    };
    object(-1, "%s", "\r\nendstream\r\nendobj\r\n");
    object(n + 1, "%d 0 obj\r\n<</Type/Page/Parent 1 0 R/MediaBox[0 0 %d %d]/Contents %d 0 R/Resources %d 0 R>>\r\nendobj\r\n",
           n + 1, page->width * 72 / resolution, page->height * 72 / resolution, n + 2, n + 4);
    object(n + 2, "%d 0 obj\r\n<</Length %d 0 R>>stream\r\n%sendstream\r\nendobj\r\n", n + 2, n + 3, drawing);
    object(n + 3, "%d 0 obj\r\n%ld\r\nendobj\r\n", n + 3, static_cast<long>(drawingLength));
    object(n + 4, "%d 0 obj\r\n<</ProcSet[/PDF/%s]/XObject<</I%d %d 0 R>>>>\r\nendobj\r\n", n + 4, "ImageB",
           w->imageCount, n);
    if (!ok) {
        delete page;
        return PDF_ERROR;
    }
    w->offset = offset;
    w->nextId = n + kIdsPerPage;
    ++w->imageCount;
    ++w->pageCount;
    if (w->last)
        w->last->next = page;
    else
        w->first = page;
    w->last = page;
    return 0;
}

int PDF_EndDocument(PdfWriter* w, uint64_t* size) {
    if (!w) return PDF_ERROR;
    const int catalog = w->nextId;
    const uint64_t pages = w->offset;
    uint64_t offset = w->offset;
    w->tailLength = 0;
    w->tail[0] = '\0';
    bool ok = true;
    auto compose = [&](const char* format, auto... values) {
        size_t before = w->tailLength;
        ok = ok && appendf(w->tail, kTailChars, w->tailLength, format, values...);
        offset += w->tailLength - before;
    };
    ok = FormatXrefEntry(offset, w->xref[catalog]);
    compose("%d 0 obj\r\n<</Type/Catalog/Pages 1 0 R>>\r\nendobj\r\n", catalog);
    ok = ok && FormatXrefEntry(offset, w->xref[1]);
    std::string kids;
    for (PdfPage* page = w->first; page; page = page->next) kids += std::to_string(page->pageId) + " 0 R ";
    if (!kids.empty()) kids.pop_back();
    compose("1 0 obj\r\n<</Type /Pages /Kids [%s] /Count %d>>\r\nendobj\r\n", kids.c_str(), w->pageCount);
    const uint64_t xref = offset;
    compose("xref\r\n0 %d\r\n", catalog + 1);
    for (int id = 0; id <= catalog; ++id) compose("%s", w->xref[id]);
    compose("trailer\r\n<</Root %d 0 R /Size %d>>\r\n", catalog, catalog + 1);
    compose("startxref\r\n%llu\r\n%%%%EOF\r\n", static_cast<unsigned long long>(xref));
    w->offset = offset;
    if (!ok || w->headerLength == 0 || w->tailLength == 0 || w->headerLength + w->tailLength >= pages) {
        w->tailLength = 0;
        return PDF_ERROR;
    }
    if (size) *size = offset;
    return 0;
}

int PDF_ToFile(PdfWriter* w, LPCWSTR path) {
    if (!w) return PDF_ERROR;
    int result = 0;
    DWORD error = 0;
    if (w->tailLength == 0) {
        // Not ended: the file would have no cross-reference table.
        result = PDF_ERROR;
    } else {
        HANDLE out = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            result = static_cast<int>(error);
        } else {
            bool ok = writeText(out, w->header, w->headerLength);
            for (PdfPage* page = w->first; ok && page; page = page->next)
                ok = writeText(out, page->imageHead, page->imageHeadLength) && copyJpeg(out, *page) &&
                     writeText(out, page->rest, page->restLength);
            ok = ok && writeText(out, w->tail, w->tailLength);
            if (!ok) {
                error = GetLastError();
                result = PDF_ERROR;
            }
            CloseHandle(out);
        }
    }
    freeWriter(w);
    if (result != 0) {
        WCHAR text[64];
        char narrow[64];
        int n = std::snprintf(narrow, sizeof narrow, "PDF_ToFile error :%lu", static_cast<unsigned long>(error));
        for (int i = 0; i <= n; ++i) text[i] = static_cast<WCHAR>(narrow[i]);
        OutputDebugStringW(text);
    }
    return result;
}
