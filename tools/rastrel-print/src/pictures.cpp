// PNG and netpbm pictures into the front's picture form. Sizes are checked before anything is
// allocated; a short or malformed file is an error, never a partial picture.
#include "rastrel_print/pictures.h"

#include <fcntl.h>
#include <malloc.h>
#include <png.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <thread>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace rastrel_print {

using platform::printing::Picture;

namespace {

bool sizeAllowed(long long w, long long h, std::string* why) {
    if (w <= 0 || h <= 0) {
        *why = "the picture has no pixels";
        return false;
    }
    if (w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels) {
        *why = "the picture is too large (" + std::to_string(w) + " x " + std::to_string(h) + " pixels; at most " +
               std::to_string(kMaxPictureSide) + " a side and " + std::to_string(kMaxPicturePixels) + " in all)";
        return false;
    }
    return true;
}

// Header fields of a netpbm file: numbers between blanks and # comments.
class NetpbmHeader {
public:
    explicit NetpbmHeader(std::string_view bytes) : bytes_(bytes), pos_(2) {}
    bool number(long long* value) {
        for (;;) {
            while (pos_ < bytes_.size() && std::isspace(static_cast<unsigned char>(bytes_[pos_]))) ++pos_;
            if (pos_ < bytes_.size() && bytes_[pos_] == '#') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\n' && bytes_[pos_] != '\r') ++pos_;
                continue;
            }
            break;
        }
        size_t start = pos_;
        long long v = 0;
        while (pos_ < bytes_.size() && std::isdigit(static_cast<unsigned char>(bytes_[pos_]))) {
            v = v * 10 + (bytes_[pos_++] - '0');
            if (v > 1000000000LL) return false;
        }
        if (pos_ == start) return false;
        *value = v;
        return true;
    }
    // The raster begins after exactly one blank following the last header field.
    bool rasterStart(size_t* offset) {
        if (pos_ >= bytes_.size() || !std::isspace(static_cast<unsigned char>(bytes_[pos_]))) return false;
        *offset = pos_ + 1;
        return true;
    }
    size_t position() const { return pos_; }

private:
    std::string_view bytes_;
    size_t pos_;
};

// Whether the compressed image data of a PNG can hold its pixels: deflate makes at most 1032 bytes
// of one, so a file whose IDAT chunks are too short for the rows its header names is cut short (or
// lies) and is refused before the picture is made.
bool imageDataCanHold(std::string_view bytes, unsigned long width, unsigned long height) {
    if (bytes.size() < 33) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    auto word = [&](size_t at) { return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3]; };
    const unsigned depth = b[24], type = b[25];
    const unsigned channels = type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : 4;
    const unsigned long long rowBytes = (static_cast<unsigned long long>(width) * channels * depth + 7) / 8 + 1;
    const unsigned long long raw = rowBytes * height;
    unsigned long long compressed = 0;
    for (size_t at = 8; at + 8 <= bytes.size();) {
        const uint32_t length = word(at);
        const size_t present = std::min<size_t>(length, bytes.size() - (at + 8));
        if (std::memcmp(b + at + 4, "IDAT", 4) == 0) compressed += present;
        if (present < length) break;
        at += 12 + static_cast<size_t>(length);
    }
    return compressed * 1032 + 64 >= raw;
}

}  // namespace

FileKind sniff(std::string_view head) {
    if (head.size() >= 8 && std::memcmp(head.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return FileKind::kPng;
    if (head.size() >= 5 && std::memcmp(head.data(), "%PDF-", 5) == 0) return FileKind::kPdf;
    if (head.size() >= 3 && head[0] == 'P' && (head[1] == '2' || head[1] == '5' || head[1] == '6') &&
        std::isspace(static_cast<unsigned char>(head[2])))
        return FileKind::kNetpbm;
    return FileKind::kPageDescription;
}

std::optional<Picture> decodePng(std::string_view bytes, std::string* why) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        *why = std::string("not a readable PNG (") + image.message + ")";
        png_image_free(&image);
        return std::nullopt;
    }
    if (!sizeAllowed(image.width, image.height, why)) {
        png_image_free(&image);
        return std::nullopt;
    }
    if (!imageDataCanHold(bytes, image.width, image.height)) {
        *why = "the PNG is short: its image data cannot hold " + std::to_string(image.width) + " x " +
               std::to_string(image.height) + " pixels";
        png_image_free(&image);
        return std::nullopt;
    }
    const bool colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = colour ? PNG_FORMAT_BGR : PNG_FORMAT_GRAY;
    Picture picture = whitePicture(static_cast<LONG>(image.width), static_cast<LONG>(image.height),
                                   colour ? BMF_24BPP : BMF_8BPP);
    png_color white{255, 255, 255};
    // Transparent parts are laid over white paper.
    if (!png_image_finish_read(&image, &white, picture.bits.data(), picture.stride, nullptr)) {
        *why = std::string("the PNG is damaged (") + image.message + ")";
        png_image_free(&image);
        return std::nullopt;
    }
    png_image_free(&image);
    return picture;
}

namespace {

// A binary netpbm file (P5, P6) whose header and raster length have been checked.
struct NetpbmRaster {
    long long w = 0, h = 0, maxval = 0;
    bool colour = false;
    size_t offset = 0;  // where the raster starts
};

// The header of a netpbm file; for P2 the raster is read with it (*plain), for P5 and P6 only its
// length is checked (*raster).
bool readNetpbmHeader(std::string_view bytes, NetpbmRaster* raster, std::optional<Picture>* plain, std::string* why) {
    if (sniff(bytes) != FileKind::kNetpbm) {
        *why = "not a PGM (P2, P5) or PPM (P6) file";
        return false;
    }
    const char kind = bytes[1];
    NetpbmHeader header(bytes);
    long long w = 0, h = 0, maxval = 0;
    if (!header.number(&w) || !header.number(&h) || !header.number(&maxval)) {
        *why = "the netpbm header is incomplete (it needs width, height and maximum value)";
        return false;
    }
    if (maxval < 1 || maxval > 65535) {
        *why = "the maximum value " + std::to_string(maxval) + " is not from 1 to 65535";
        return false;
    }
    if (!sizeAllowed(w, h, why)) return false;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (kind == '2') {
        // Each pixel takes a blank and a digit at least: a file too short for that is refused before
        // the picture is made.
        const size_t left = bytes.size() - header.position();
        if (left / 2 < pixels) {
            *why = "the PGM ends early: " + std::to_string(w) + " x " + std::to_string(h) + " pixels need " +
                   std::to_string(pixels * 2) + " bytes at least, " + std::to_string(left) + " there";
            return false;
        }
        std::vector<BYTE> scale(static_cast<size_t>(maxval) + 1);
        for (long long v = 0; v <= maxval; ++v) scale[static_cast<size_t>(v)] = static_cast<BYTE>((v * 255 + maxval / 2) / maxval);
        Picture picture = Picture::blank(static_cast<LONG>(w), static_cast<LONG>(h), BMF_8BPP);
        for (long long y = 0; y < h; ++y) {
            BYTE* row = picture.row(static_cast<LONG>(y));
            for (long long x = 0; x < w; ++x) {
                long long v;
                if (!header.number(&v)) {
                    *why = "the PGM ends early or holds a non-number at pixel " + std::to_string(y * w + x);
                    return false;
                }
                if (v > maxval) {
                    *why = "pixel " + std::to_string(y * w + x) + " is above the maximum value";
                    return false;
                }
                row[x] = scale[static_cast<size_t>(v)];
            }
        }
        *plain = std::move(picture);
        return true;
    }
    size_t offset = 0;
    if (!header.rasterStart(&offset)) {
        *why = "the netpbm header does not end with a blank";
        return false;
    }
    raster->w = w;
    raster->h = h;
    raster->maxval = maxval;
    raster->colour = kind == '6';
    raster->offset = offset;
    const size_t rowBytes = static_cast<size_t>(w) * (raster->colour ? 3 : 1) * (maxval > 255 ? 2 : 1);
    const size_t need = rowBytes * static_cast<size_t>(h);
    if (bytes.size() - offset < need) {
        *why = "the raster is short: " + std::to_string(need) + " bytes needed, " + std::to_string(bytes.size() - offset) +
               " there";
        return false;
    }
    return true;
}

// The picture of a checked raster: made only now, row after row (no page-sized fill first). The
// file's pages already read are let go as it goes (`file`, when given), so that the file and the
// picture are not both held whole.
Picture netpbmPicture(std::string_view bytes, const NetpbmRaster& r, const FileBytes* file = nullptr) {
    constexpr size_t kDropEvery = size_t(4) << 20;
    const long long w = r.w, h = r.h, maxval = r.maxval;
    const bool colour = r.colour;
    std::vector<BYTE> scale(static_cast<size_t>(maxval) + 1);
    for (long long v = 0; v <= maxval; ++v) scale[static_cast<size_t>(v)] = static_cast<BYTE>((v * 255 + maxval / 2) / maxval);
    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    const size_t channels = colour ? 3 : 1;
    const size_t rowBytes = static_cast<size_t>(w) * channels * sampleBytes;
    const size_t need = rowBytes * static_cast<size_t>(h);
    Picture picture;
    picture.size = SIZEL{static_cast<LONG>(w), static_cast<LONG>(h)};
    picture.format = colour ? BMF_24BPP : BMF_8BPP;
    picture.stride = static_cast<LONG>((static_cast<size_t>(w) * channels + 3) / 4 * 4);
    if (!colour) picture.palette = Picture::blank(1, 1, BMF_8BPP).palette;
    const auto* raster = reinterpret_cast<const unsigned char*>(bytes.data() + r.offset);
    picture.bits.reserve(static_cast<size_t>(picture.stride) * static_cast<size_t>(h));
    adviseHugePages(picture.bits.data(), picture.bits.capacity());
    if (sampleBytes == 1 && !colour && maxval == 255 && static_cast<size_t>(picture.stride) == rowBytes) {
        for (size_t done = 0; done < need;) {  // the rows as they are in the file
            const size_t n = std::min(kDropEvery, need - done);
            picture.bits.insert(picture.bits.end(), raster + done, raster + done + n);
            done += n;
            if (file) file->letGo(r.offset, r.offset + done);
        }
        return picture;
    }
    std::vector<BYTE> line(static_cast<size_t>(picture.stride), 0xFF);
    BYTE* dst = line.data();
    const BYTE* table = scale.data();
    const size_t top = static_cast<size_t>(maxval);
    const size_t n = static_cast<size_t>(w);
    for (long long y = 0; y < h; ++y) {
        const unsigned char* src = raster + static_cast<size_t>(y) * rowBytes;
        if (sampleBytes == 1 && !colour && maxval == 255) {
            std::memcpy(dst, src, n);
        } else if (sampleBytes == 1 && !colour) {
            for (size_t x = 0; x < n; ++x) dst[x] = table[std::min<size_t>(src[x], top)];
        } else if (sampleBytes == 1 && maxval == 255) {
            for (size_t x = 0; x < n; ++x) {  // red, green, blue in the file; blue, green, red in the picture
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        } else if (sampleBytes == 1) {
            for (size_t x = 0; x < n; ++x) {  // red, green, blue in the file; blue, green, red in the picture
                dst[3 * x] = table[std::min<size_t>(src[3 * x + 2], top)];
                dst[3 * x + 1] = table[std::min<size_t>(src[3 * x + 1], top)];
                dst[3 * x + 2] = table[std::min<size_t>(src[3 * x], top)];
            }
        } else {
            auto sample = [&](size_t i) { return table[std::min<size_t>(size_t(src[2 * i]) << 8 | src[2 * i + 1], top)]; };
            for (size_t x = 0; x < n; ++x) {
                if (colour) {
                    dst[3 * x] = sample(3 * x + 2);
                    dst[3 * x + 1] = sample(3 * x + 1);
                    dst[3 * x + 2] = sample(3 * x);
                } else {
                    dst[x] = sample(x);
                }
            }
        }
        picture.bits.insert(picture.bits.end(), line.begin(), line.end());
        if (file && (static_cast<size_t>(y) + 1) * rowBytes % kDropEvery < rowBytes)
            file->letGo(r.offset, r.offset + (static_cast<size_t>(y) + 1) * rowBytes);
    }
    return picture;
}

}  // namespace

std::optional<Picture> decodeNetpbm(std::string_view bytes, std::string* why) {
    NetpbmRaster raster;
    std::optional<Picture> plain;
    if (!readNetpbmHeader(bytes, &raster, &plain, why)) return std::nullopt;
    if (plain) return plain;
    return netpbmPicture(bytes, raster);
}

std::shared_ptr<const Picture> PendingPicture::get(std::string* why) const {
    std::shared_ptr<const Picture> picture = picture_.get();
    if (picture && !intact()) picture.reset();
    if (!picture) *why = kFileChanged;
    return picture;
}

bool PendingPicture::intact() const { return !(picture_.get() && picture_.get()->outside && file_->changed()); }

std::shared_ptr<PendingPicture> checkNetpbm(FileBytes file, std::optional<Picture>* plain, std::string* why) {
    auto shared = std::make_shared<FileBytes>(std::move(file));
    NetpbmRaster raster;
    const bool sound = readNetpbmHeader(shared->view(), &raster, plain, why);
    if (shared->changed()) {
        plain->reset();
        *why = kFileChanged;
        return nullptr;
    }
    if (!sound || *plain) return nullptr;
    auto pending = std::make_shared<PendingPicture>();
    if (raster.maxval == 255 && !raster.colour && raster.w % 4 == 0) {
        // Rows of 8-bit greys padded to 4 bytes as they stand: the picture is the file's raster itself.
        Picture picture;
        picture.size = SIZEL{static_cast<LONG>(raster.w), static_cast<LONG>(raster.h)};
        picture.format = BMF_8BPP;
        picture.stride = static_cast<LONG>(raster.w);
        picture.palette = Picture::blank(1, 1, BMF_8BPP).palette;
        picture.outside = reinterpret_cast<const BYTE*>(shared->view().data() + raster.offset);
        picture.outsideBytes = static_cast<size_t>(raster.w) * static_cast<size_t>(raster.h);
        picture.keeper = shared;
        pending->file_ = shared;
        std::promise<std::shared_ptr<const Picture>> made;
        made.set_value(std::make_shared<const Picture>(std::move(picture)));
        pending->picture_ = made.get_future().share();
        return pending;
    }
    pending->picture_ = std::async(std::launch::async, [shared, raster]() mutable -> std::shared_ptr<const Picture> {
                            auto picture = std::make_shared<const Picture>(
                                netpbmPicture(shared->view(), raster, shared.get()));
                            const bool changed = shared->changed();
                            shared.reset();  // the file is let go as soon as its picture is made
                            return changed ? nullptr : picture;
                        }).share();
    return pending;
}

namespace {

// Mapped files guarded against being cut short: a read past a mapped file's end raises SIGBUS,
// which would end the process. The handler answers a fault inside a guarded mapping by putting
// zero pages over the mapping from the faulting page to its end and marking the mapping cut; the
// read then goes on and whoever reads the file is told by FileBytes::changed(). Faults elsewhere go
// to the handler that was there before (or end the process as they would have).
struct GuardedMapping {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};  // rounded up to whole pages
    std::atomic<bool> cut{false};
};
constexpr int kGuardedMappings = 64;
GuardedMapping g_guarded[kGuardedMappings];
struct sigaction g_previousBusHandler;

void onBusError(int signal, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
    const auto pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (GuardedMapping& m : g_guarded) {
        const uintptr_t begin = m.begin.load(), end = m.end.load();
        if (begin == 0 || at < begin || at >= end) continue;
        const uintptr_t page = at & ~(pageSize - 1);
        void* zeros = mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                           -1, 0);
        if (zeros != MAP_FAILED) {
            m.cut.store(true);
            return;  // the read is made again, now of zeros
        }
        break;
    }
    const struct sigaction& before = g_previousBusHandler;
    if ((before.sa_flags & SA_SIGINFO) && before.sa_sigaction) {
        before.sa_sigaction(signal, info, context);
    } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN && before.sa_handler) {
        before.sa_handler(signal);
    } else {
        ::signal(SIGBUS, SIG_DFL);  // the fault comes again on return and ends the process as before
    }
}

void installBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &g_previousBusHandler);
    });
}

// A place for a mapping of `size` bytes at `data`, or -1 when every place is taken.
int guardMapping(void* data, size_t size) {
    installBusHandler();
    const auto pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(data);
    for (int i = 0; i < kGuardedMappings; ++i) {
        uintptr_t free = 0;
        if (!g_guarded[i].begin.compare_exchange_strong(free, begin)) continue;
        g_guarded[i].cut.store(false);
        g_guarded[i].end.store(begin + (size + pageSize - 1) / pageSize * pageSize);
        return i;
    }
    return -1;
}

void unguardMapping(int place) {
    g_guarded[place].end.store(0);
    g_guarded[place].begin.store(0);
}

}  // namespace

void adviseHugePages(const void* data, size_t bytes) {
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (bytes < kHuge) return;
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1), last = (begin + bytes) & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

Picture whitePicture(LONG width, LONG height, ULONG format) {
    Picture picture = Picture::blank(1, 1, format);
    const ULONG pixelBytes = format == BMF_8BPP ? 1 : format == BMF_24BPP ? 3 : 4;
    picture.size = SIZEL{std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
    picture.stride = static_cast<LONG>((static_cast<size_t>(picture.size.cx) * pixelBytes + 3) / 4 * 4);
    const size_t bytes = static_cast<size_t>(picture.stride) * static_cast<size_t>(picture.size.cy);
    std::vector<BYTE>().swap(picture.bits);
    picture.bits.reserve(bytes);
    adviseHugePages(picture.bits.data(), bytes);
    picture.bits.assign(bytes, 0xFF);
    return picture;
}

void prepareHeapForPages() {
    // Every thread allocates from this one heap. An arena of a thread's own unmaps a heap of its own
    // that empties, so the page-sized blocks the PDF renderer takes for a page (its bitmap, a picture
    // scaled to the page) would be faulted in afresh for every page; this heap keeps freed room.
    mallopt(M_ARENA_MAX, 1);
    // The largest block glibc keeps in its heap instead of a mapping of its own (32 MiB: an A4 page
    // buffer at 600 dpi is 30.6 MiB); freed room stays for the next page.
    constexpr size_t kLargestHeapBlock = size_t(32) << 20;
    constexpr size_t kHeapRoom = size_t(96) << 20;
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargestHeapBlock));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kHeapRoom));
    // The heap grown at once to hold a page's blocks (address space only: nothing is touched), then
    // advised; its room is given back to the heap for the driver and the pages.
    mallopt(M_TOP_PAD, static_cast<int>(kHeapRoom));
    void* block = std::malloc(kLargestHeapBlock - 4096);
    const void* end = sbrk(0);
    // Only when the block did come from the heap's top (another allocator may place it elsewhere).
    const auto* from = static_cast<const char*>(block);
    const auto* to = static_cast<const char*>(end);
    const bool fromTop = block && end != reinterpret_cast<void*>(-1) && to > from &&
                         static_cast<size_t>(to - from) <= kLargestHeapBlock + 2 * kHeapRoom;
    const size_t heapRoom = fromTop ? static_cast<size_t>(to - from) : 0;
    if (fromTop) adviseHugePages(block, heapRoom);
    std::free(block);
    mallopt(M_TOP_PAD, 0);
    if (!fromTop) return;
    // The room where the first page buffer will lie is faulted in on another thread while the job
    // starts, so that the driver's first fill of its page does not wait for the kernel to clear it.
    // Populating leaves the contents as they are (zeros never written), so the heap may hand the room
    // out meanwhile; a failure (an older kernel) only leaves the faults to the first touch.
    constexpr size_t kFirstPageRoom = kLargestHeapBlock + (size_t(4) << 20);
    const size_t room = std::min(kFirstPageRoom, heapRoom);
    const uintptr_t blockAt = reinterpret_cast<uintptr_t>(end) - heapRoom;  // where the block was
    std::thread([blockAt, room] {
        const auto pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const uintptr_t first = (blockAt + pageSize - 1) & ~(pageSize - 1), last = (blockAt + room) & ~(pageSize - 1);
        if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    }).detach();
}

size_t pictureBound(std::string_view head) {
    const FileKind kind = sniff(head);
    return kind == FileKind::kPng || kind == FileKind::kNetpbm ? kMaxPictureFileBytes : head.size();
}

std::optional<FileBytes> FileBytes::open(const std::string& path, std::string* why, const ReadBound& bound) {
    constexpr off_t kPopulatedFileBytes = off_t(1) << 20;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = "cannot open " + path;
        return std::nullopt;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        ::close(fd);
        *why = "cannot read " + path;
        return std::nullopt;
    }
    FileBytes file;
    void* data = MAP_FAILED;
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        // A small file is mapped whole at once; a large one's pages are mapped as they are read (by
        // the threads that read them), not all by the thread that opens it.
        const int populate = info.st_size < kPopulatedFileBytes ? MAP_POPULATE : 0;
        data = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE | populate, fd, 0);
    }
    if (data != MAP_FAILED) {
        file.guard_ = guardMapping(data, static_cast<size_t>(info.st_size));
        if (file.guard_ >= 0) {
            file.data_ = data;
            file.size_ = static_cast<size_t>(info.st_size);
            file.fd_ = fd;  // kept to tell a cut before the part past it is read
            return file;
        }
        munmap(data, static_cast<size_t>(info.st_size));  // no guard left: read instead
    }
    // A regular file (mapped or not) has an end; a pipe or a device may never end, and is read only
    // as far as the bound its first bytes give, and one byte past it to tell whether it goes on.
    constexpr size_t kHeadBytes = 64;
    const bool endless = !(S_ISREG(info.st_mode) && info.st_size > 0);
    size_t most = SIZE_MAX - 1;
    bool bounded = false;
    char chunk[65536];
    for (;;) {
        if (endless && !bounded && file.read_.size() >= kHeadBytes) {
            most = std::min(bound(file.read_), SIZE_MAX - 1);
            bounded = true;
        }
        if (file.read_.size() > most) {
            file.longer_ = true;
            break;
        }
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, most + 1 - file.read_.size()));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            *why = "cannot read " + path;
            return std::nullopt;
        }
        file.read_.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    // A short stream that ended is still held to its bound.
    if (endless && !bounded && file.read_.size() > bound(file.read_)) file.longer_ = true;
    return file;
}

void FileBytes::letGo(size_t from, size_t to) const {
    if (!data_ || to > size_) return;
    const auto pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t first = (from + pageSize - 1) / pageSize * pageSize, last = to / pageSize * pageSize;
    if (last > first) madvise(static_cast<char*>(data_) + first, last - first, MADV_DONTNEED);
}

bool FileBytes::changed() const {
    if (guard_ < 0) return false;
    if (g_guarded[guard_].cut.load()) return true;
    struct stat info {};
    return fd_ >= 0 && fstat(fd_, &info) == 0 && static_cast<unsigned long long>(info.st_size) < size_;
}

void FileBytes::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!data_) return;
    unguardMapping(guard_);
    munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    guard_ = -1;
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : read_(std::move(other.read_)), data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      guard_(std::exchange(other.guard_, -1)), fd_(std::exchange(other.fd_, -1)),
      longer_(std::exchange(other.longer_, false)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        release();
        read_ = std::move(other.read_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        guard_ = std::exchange(other.guard_, -1);
        fd_ = std::exchange(other.fd_, -1);
        longer_ = std::exchange(other.longer_, false);
    }
    return *this;
}

FileBytes::~FileBytes() { release(); }

std::optional<Picture> readPicture(const std::string& path, std::string* why) {
    auto file = FileBytes::open(path, why, pictureBound);
    if (!file) return std::nullopt;
    const std::string_view bytes = file->view();
    std::string reason;
    std::optional<Picture> picture;
    switch (sniff(bytes)) {
    case FileKind::kPng:
    case FileKind::kNetpbm:
        if (file->longer())
            reason = kLongerThanAnyPicture;
        else
            picture = sniff(bytes) == FileKind::kPng ? decodePng(bytes, &reason) : decodeNetpbm(bytes, &reason);
        break;
    default: reason = "not a PNG, PGM or PPM picture"; break;
    }
    if (file->changed()) {
        picture.reset();
        reason = kFileChanged;
    }
    if (!picture) *why = path + ": " + reason;
    return picture;
}

}  // namespace rastrel_print
