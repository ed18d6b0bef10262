// Pictures read for printing: PNG (libpng) and the netpbm greys and colours (PGM P2/P5, PPM P6).
// Grey pictures become 8-bit pictures with the grey ramp, colour ones 24-bit (blue, green, red);
// transparency is laid over white.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/printing.h"

namespace rastrel_print {

// The largest picture read, in pixels (either side) and in all.
inline constexpr long kMaxPictureSide = 30000;
inline constexpr long long kMaxPicturePixels = 200LL * 1000 * 1000;
// The longest picture file read from a pipe or a device: more than the rows of the largest picture
// in any of the formats (16-bit PNG with alpha, 8 bytes a pixel) with their framing.
inline constexpr size_t kMaxPictureFileBytes = size_t(2) << 30;
inline constexpr const char* kLongerThanAnyPicture = "it goes on past 2 GiB, more than any picture file can hold";

enum class FileKind { kPageDescription, kPng, kNetpbm, kPdf };
// What a file is, by its first bytes (the page description is the rest).
FileKind sniff(std::string_view head);

// The most bytes of a file that a reader could accept, told from its first bytes (at least 64 of
// them, or the whole file when it is shorter): what is read from a pipe or a device stops there.
using ReadBound = std::function<size_t(std::string_view head)>;
// The bound of a picture file: the longest picture, or the head alone when it is no picture at all.
size_t pictureBound(std::string_view head);

// A whole file's bytes: a regular file mapped read-only (no copy is made), anything else (a pipe, a
// device) read to its end, or only up to one byte past the bound when it goes on longer (longer()
// tells it, and the reader refuses the file). A mapped file that another program cuts short while
// it is mapped does not end the process: the part past its new end reads as zeros and changed()
// tells it, so that what was read from it is refused.
class FileBytes {
public:
    // Nothing, with the reason in *why, when the file cannot be opened or read.
    static std::optional<FileBytes> open(const std::string& path, std::string* why, const ReadBound& bound);
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes();
    std::string_view view() const { return data_ ? std::string_view(static_cast<const char*>(data_), size_) : read_; }
    // Lets go of the memory holding bytes [from, to) of a mapped file, which have been read: they are
    // read from the file again if they are looked at again.
    void letGo(size_t from, size_t to) const;
    // Whether the file was cut short while mapped (the bytes past its new end read as zeros), or is
    // shorter now than when it was mapped.
    bool changed() const;
    // Whether reading stopped at the bound with more to come: view() then holds the bytes read, one
    // past the bound.
    bool longer() const { return longer_; }

private:
    FileBytes() = default;
    void release();
    std::string read_;
    void* data_ = nullptr;
    size_t size_ = 0;
    int guard_ = -1;  // the mapping's place among the guarded ones
    int fd_ = -1;     // the mapped file, open to check its length
    bool longer_ = false;
};
// The reason given for a file that changed while it was read.
inline constexpr const char* kFileChanged = "the file was changed while it was read (it was cut short)";
// Room of page size (pictures, page buffers): asked to be backed by huge pages, which this kind of
// machine faults in many times faster than 4 KiB pages when a block is first touched. A hint only.
void adviseHugePages(const void* data, size_t bytes);
// Picture::blank, with the room advised before it is filled.
platform::printing::Picture whitePicture(LONG width, LONG height, ULONG format);
// The process heap set up for a print job: blocks up to a page buffer come from the heap and go back
// to it when freed (not mapped and unmapped for every page), whichever thread takes them (there is
// one heap for all threads), and the heap's room is advised as above. Called once, before the device
// is made and before any other thread starts.
void prepareHeapForPages();

// Reads a picture file; nothing with the reason in *why for a file that is not a sound picture.
std::optional<platform::printing::Picture> readPicture(const std::string& path, std::string* why);
std::optional<platform::printing::Picture> decodePng(std::string_view bytes, std::string* why);
std::optional<platform::printing::Picture> decodeNetpbm(std::string_view bytes, std::string* why);

// A picture whose file has been checked whole and whose pixels are being made on another thread.
class PendingPicture {
public:
    // The picture, once made (waiting for it); nothing, with the reason in *why, when its file was
    // cut short in the meantime.
    std::shared_ptr<const platform::printing::Picture> get(std::string* why) const;
    // False when the picture reads its rows from the file and the file has been cut short since: a
    // page drawn from it is refused (checked again once the page has been drawn).
    bool intact() const;

private:
    friend std::shared_ptr<PendingPicture> checkNetpbm(FileBytes, std::optional<platform::printing::Picture>*,
                                                       std::string*);
    std::shared_future<std::shared_ptr<const platform::printing::Picture>> picture_;
    std::shared_ptr<const FileBytes> file_;
};
// Checks a netpbm file as decodeNetpbm does. A sound P5 or P6 file's picture is then made from the
// mapped file on another thread (answered pending), or is the file's raster itself when its rows
// are 8-bit greys of maximum value 255 padded to 4 bytes (no copy); a P2 file is read here (into
// *plain, nothing answered). Nothing, with the reason in *why, for a file decodeNetpbm refuses.
std::shared_ptr<PendingPicture> checkNetpbm(FileBytes file, std::optional<platform::printing::Picture>* plain,
                                            std::string* why);

}  // namespace rastrel_print
