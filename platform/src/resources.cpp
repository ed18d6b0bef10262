// Resource modules: reading our resource file format, the modules LoadLibraryW opens from it, and the
// Win32 calls that take strings, bitmaps and icons out of them.
#include "platform/resources.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <tuple>

#include "internal.h"
#include "win/kernel.h"
#include "win/resources.h"

namespace fs = std::filesystem;

namespace platform::resources {

// ---- Reading the format ------------------------------------------------------------------------------

uint32_t crc32(std::string_view bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool hasMagic(std::string_view bytes) {
    return bytes.size() >= sizeof kMagic && std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0;
}

namespace {

// Little-endian reads that never pass the end of their bytes.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    size_t remaining() const { return bytes_.size() - pos_; }
    bool u16(uint16_t& v) {
        if (remaining() < 2) return false;
        v = static_cast<uint16_t>(byte(0) | byte(1) << 8);
        pos_ += 2;
        return true;
    }
    bool i16(int16_t& v) {
        uint16_t u;
        if (!u16(u)) return false;
        v = static_cast<int16_t>(u);
        return true;
    }
    bool u32(uint32_t& v) {
        if (remaining() < 4) return false;
        v = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
        pos_ += 4;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u;
        if (!u32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }
    bool text(std::u16string& v) {
        uint16_t units;
        if (!u16(units) || remaining() / 2 < units) return false;
        v.resize(units);
        for (uint16_t i = 0; i < units; ++i) v[i] = static_cast<char16_t>(byte(2 * i) | byte(2 * i + 1) << 8);
        pos_ += size_t{units} * 2;
        return true;
    }

private:
    uint32_t byte(size_t at) const { return static_cast<unsigned char>(bytes_[pos_ + at]); }
    std::string_view bytes_;
    size_t pos_ = 0;
};

bool parseDialog(std::string_view bytes, DialogTemplate& d, std::string& why) {
    Reader r(bytes);
    uint16_t count = 0;
    if (!r.u32(d.style) || !r.u32(d.exStyle) || !r.i16(d.x) || !r.i16(d.y) || !r.i16(d.cx) || !r.i16(d.cy) ||
        !r.u16(d.pointSize) || !r.u16(count) || !r.text(d.title) || !r.text(d.fontFace)) {
        why = "its header runs past the end of its bytes";
        return false;
    }
    // Each control needs at least 24 bytes: refuse a count the bytes cannot hold before reserving.
    if (r.remaining() / 24 < count) {
        why = "it claims more controls than its bytes hold";
        return false;
    }
    d.controls.resize(count);
    for (uint16_t i = 0; i < count; ++i) {
        DialogControl& c = d.controls[i];
        if (!r.u32(c.style) || !r.u32(c.exStyle) || !r.i32(c.id) || !r.i16(c.x) || !r.i16(c.y) || !r.i16(c.cx) ||
            !r.i16(c.cy) || !r.text(c.className) || !r.text(c.text)) {
            why = "control " + std::to_string(i) + " runs past the end of its bytes";
            return false;
        }
    }
    if (r.remaining() != 0) {
        why = "it has bytes after its last control";
        return false;
    }
    return true;
}

std::u16string utf16le(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return text;
}

const char* typeName(uint32_t type) {
    switch (type) {
    case kTypeBitmap: return "bitmap";
    case kTypeIcon: return "icon";
    case kTypeDialog: return "dialog";
    case kTypeString: return "string";
    case kTypeDialogClass: return "dialog class";
    default: return "resource";
    }
}

}  // namespace

std::optional<ResourceFile> parse(std::string_view bytes, std::string* why) {
    std::string reason;
    auto refuse = [&](std::string text) -> std::optional<ResourceFile> {
        if (why) *why = std::move(text);
        return std::nullopt;
    };
    if (bytes.size() < kHeaderSize) return refuse("the file is shorter than its header");
    if (!hasMagic(bytes)) return refuse("the file is not a resource file (wrong magic)");
    Reader h(bytes.substr(sizeof kMagic));
    uint16_t major = 0, minor = 0;
    uint32_t flags = 0, fileSize = 0, checksum = 0, count = 0, reserved = 0;
    h.u16(major);
    h.u16(minor);
    h.u32(flags);
    h.u32(fileSize);
    h.u32(checksum);
    h.u32(count);
    h.u32(reserved);
    if (major != kVersionMajor) return refuse("format version " + std::to_string(major) + " is not supported");
    if (fileSize != bytes.size())
        return refuse("the header gives " + std::to_string(fileSize) + " bytes but the file has " +
                      std::to_string(bytes.size()) + " (cut short or padded)");
    std::string copy(bytes);
    std::memset(copy.data() + 20, 0, 4);
    if (crc32(copy) != checksum) return refuse("the checksum does not match (the file is damaged)");
    if ((flags & ~kFlagRightToLeft) != 0) return refuse("unknown flags in the header");
    if (reserved != 0) return refuse("the reserved header field is not 0");
    if (count > (bytes.size() - kHeaderSize) / kEntrySize) return refuse("the directory runs past the end of the file");
    const size_t dataStart = kHeaderSize + size_t{count} * kEntrySize;

    ResourceFile file;
    file.rightToLeft = (flags & kFlagRightToLeft) != 0;
    Reader dir(bytes.substr(kHeaderSize, size_t{count} * kEntrySize));
    uint32_t lastType = 0, lastId = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t type = 0, id = 0, offset = 0, size = 0;
        dir.u32(type);
        dir.u32(id);
        dir.u32(offset);
        dir.u32(size);
        std::string entry = "entry " + std::to_string(i) + " (" + typeName(type) + " " + std::to_string(id) + ")";
        if (i > 0 && (type < lastType || (type == lastType && id <= lastId)))
            return refuse(entry + " is out of order or repeats an id");
        lastType = type;
        lastId = id;
        if (offset < dataStart || offset > bytes.size() || size > bytes.size() - offset)
            return refuse(entry + " lies outside the file's data");
        std::string_view data = bytes.substr(offset, size);
        bool knownType = type == kTypeString || type == kTypeBitmap || type == kTypeIcon || type == kTypeDialog ||
                         (type == kTypeDialogClass && minor >= 1);
        if (!knownType) {
            if (minor > kVersionMinor) continue;  // a later writer's type: skipped
            return refuse(entry + " has an unknown type");
        }
        if (id > kMaxId || (type != kTypeString && id == 0)) return refuse(entry + " has an id out of range");
        switch (type) {
        case kTypeString:
            if (size % 2 != 0 || size / 2 > kMaxText) return refuse(entry + " is not a text of UTF-16 units");
            file.strings.emplace(id, utf16le(data));
            break;
        case kTypeBitmap:
            if (data.size() < 2 || data.substr(0, 2) != "BM") return refuse(entry + " is not a BMP file");
            file.bitmaps.emplace(id, std::string(data));
            break;
        case kTypeIcon:
            if (!(data.size() >= 2 && data.substr(0, 2) == "BM") &&
                !(data.size() >= 4 && data.substr(0, 4) == std::string_view("\0\0\1\0", 4)))
                return refuse(entry + " is neither an ICO nor a BMP file");
            file.icons.emplace(id, std::string(data));
            break;
        case kTypeDialog: {
            DialogTemplate d;
            if (!parseDialog(data, d, reason)) return refuse(entry + ": " + reason);
            file.dialogs.emplace(id, std::move(d));
            break;
        }
        case kTypeDialogClass: {
            // Sorted by type, so the dialog it belongs to was read before it.
            auto dialog = file.dialogs.find(id);
            if (dialog == file.dialogs.end()) return refuse(entry + " names no dialog of the file");
            if (size % 2 != 0 || size == 0 || size / 2 > kMaxClassName)
                return refuse(entry + " is not a class name of 1 to 256 UTF-16 units");
            dialog->second.className = utf16le(data);
            break;
        }
        }
    }
    return file;
}

// ---- Pictures ------------------------------------------------------------------------------------------

namespace {

constexpr LONG kMaxSide = 16384;

uint32_t le32(std::string_view b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
           static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}
size_t stride(LONG width, int bpp) { return ((static_cast<size_t>(width) * bpp + 31) / 32) * 4; }

// A DIB as CreateDIBSection takes it: the header (biClrUsed giving the table's entries), the masks
// for BI_BITFIELDS, the colour table; and the rows.
struct PackedDib {
    std::string info;
    std::string bits;
    LONG width = 0;
    LONG height = 0;  // negative: top-down
    size_t end = 0;   // where the rows end in the bytes read
};

std::string packHeader(LONG width, LONG height, int bpp, DWORD compression, DWORD colours) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bpp);
    h.biCompression = compression;
    h.biClrUsed = colours;
    return std::string(reinterpret_cast<const char*>(&h), sizeof h);
}

// A DIB inside a BMP file (at 14) or an ICO image (at 0, twice as high, with its AND mask after it).
// The rows follow the colour table unless `bitsAt` says where they are.
std::optional<PackedDib> readDib(std::string_view b, size_t at, std::optional<size_t> bitsAt, bool iconImage,
                                 std::string& why) {
    if (b.size() - at < 4) {
        why = "the picture has no header";
        return std::nullopt;
    }
    uint32_t headerSize = le32(b, at);
    LONG width = 0, height = 0;
    int bpp = 0;
    uint32_t compression = BI_RGB, clrUsed = 0;
    size_t entrySize = 4;
    size_t tableAt = 0;
    std::string masks;
    if (headerSize == sizeof(BITMAPCOREHEADER) && !iconImage) {
        if (b.size() - at < headerSize) {
            why = "the picture header is cut short";
            return std::nullopt;
        }
        width = le16(b, at + 4);
        height = le16(b, at + 6);
        if (le16(b, at + 8) != 1) {
            why = "the picture does not have one plane";
            return std::nullopt;
        }
        bpp = le16(b, at + 10);
        entrySize = 3;
        tableAt = at + headerSize;
    } else if (headerSize >= sizeof(BITMAPINFOHEADER) && headerSize <= 124) {
        if (b.size() - at < headerSize) {
            why = "the picture header is cut short";
            return std::nullopt;
        }
        width = static_cast<LONG>(le32(b, at + 4));
        height = static_cast<LONG>(le32(b, at + 8));
        if (le16(b, at + 12) != 1) {
            why = "the picture does not have one plane";
            return std::nullopt;
        }
        bpp = le16(b, at + 14);
        compression = le32(b, at + 16);
        clrUsed = le32(b, at + 32);
        tableAt = at + headerSize;
        if (compression == BI_BITFIELDS) {
            if (bpp != 16 && bpp != 32) {
                why = "bit-field masks on a picture of " + std::to_string(bpp) + " bits";
                return std::nullopt;
            }
            size_t masksAt = at + sizeof(BITMAPINFOHEADER);
            if (headerSize == sizeof(BITMAPINFOHEADER)) tableAt += 12;
            if (b.size() < masksAt + 12) {
                why = "the bit-field masks are cut short";
                return std::nullopt;
            }
            masks = std::string(b.substr(masksAt, 12));
        } else if (compression != BI_RGB) {
            why = "compressed pictures (RLE, JPEG, PNG) are not supported";
            return std::nullopt;
        }
    } else {
        why = "the picture header has an unknown size " + std::to_string(headerSize);
        return std::nullopt;
    }
    if (iconImage) {
        if (height <= 0 || height % 2 != 0) {
            why = "the icon image is not twice as high as its picture";
            return std::nullopt;
        }
        height /= 2;
    }
    if (height == INT32_MIN || width <= 0 || height == 0 || width > kMaxSide || height > kMaxSide ||
        height < -kMaxSide) {
        why = "the picture size " + std::to_string(width) + " x " + std::to_string(height) + " is out of range";
        return std::nullopt;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        why = "pictures of " + std::to_string(bpp) + " bits a pixel are not supported";
        return std::nullopt;
    }
    DWORD colours = 0;
    if (bpp <= 8) {
        DWORD full = DWORD{1} << bpp;
        colours = clrUsed == 0 ? full : std::min<DWORD>(clrUsed, full);
    }
    if (tableAt > b.size() || (b.size() - tableAt) / entrySize < colours) {
        why = "the colour table is cut short";
        return std::nullopt;
    }
    PackedDib dib;
    dib.width = width;
    dib.height = height;
    dib.info = packHeader(width, height, bpp, compression, colours) + masks;
    for (DWORD i = 0; i < colours; ++i) {
        const char* e = b.data() + tableAt + i * entrySize;
        dib.info += std::string_view(e, 3);
        dib.info += '\0';
    }
    size_t rowsAt = bitsAt ? *bitsAt : tableAt + colours * entrySize;
    size_t rowBytes = stride(width, bpp) * static_cast<size_t>(height < 0 ? -height : height);
    if (rowsAt > b.size() || b.size() - rowsAt < rowBytes) {
        why = "the picture's rows are cut short";
        return std::nullopt;
    }
    dib.bits = std::string(b.substr(rowsAt, rowBytes));
    dib.end = rowsAt + rowBytes;
    return dib;
}

std::optional<PackedDib> decodeBmp(std::string_view b, std::string& why) {
    if (b.size() < 14 + sizeof(BITMAPCOREHEADER) || b.substr(0, 2) != "BM") {
        why = "not a BMP file";
        return std::nullopt;
    }
    uint32_t offBits = le32(b, 10);
    if (offBits < 14 + sizeof(BITMAPCOREHEADER) || offBits > b.size()) {
        why = "the BMP's pixel offset lies outside the file";
        return std::nullopt;
    }
    return readDib(b, 14, offBits, false, why);
}

// A one-bit DIB of black (0) and white (1), as an icon's mask.
PackedDib maskDib(LONG width, LONG height, std::string bits) {
    PackedDib m;
    m.width = width;
    m.height = height;
    m.info = packHeader(width, height, 1, BI_RGB, 2) + std::string("\0\0\0\0\xff\xff\xff\0", 8);
    m.bits = std::move(bits);
    return m;
}

struct IconImage {
    PackedDib color;
    PackedDib mask;
};

// The image of an ICO (or the picture of a BMP) nearest the size asked for: an exact size first, then
// the smallest larger, then the largest; more colours win among equals. PNG images are skipped.
std::optional<IconImage> decodeIcon(std::string_view b, int wantWidth, int wantHeight, std::string& why) {
    if (b.size() >= 2 && b.substr(0, 2) == "BM") {
        auto color = decodeBmp(b, why);
        if (!color) return std::nullopt;
        LONG h = color->height < 0 ? -color->height : color->height;
        std::string zeros(stride(color->width, 1) * static_cast<size_t>(h), '\0');
        return IconImage{*color, maskDib(color->width, color->height, std::move(zeros))};
    }
    if (b.size() < 6 || le16(b, 0) != 0 || le16(b, 2) != 1) {
        why = "not an ICO file";
        return std::nullopt;
    }
    size_t count = le16(b, 4);
    if (count == 0 || (b.size() - 6) / 16 < count) {
        why = "the icon directory is empty or cut short";
        return std::nullopt;
    }
    std::optional<IconImage> best;
    auto score = [wantWidth, wantHeight](const PackedDib& d, int bpp) {
        LONG w = d.width, h = d.height;
        int fit = (w == wantWidth && h == wantHeight) ? 0 : (w >= wantWidth && h >= wantHeight) ? 1 : 2;
        long long size = fit == 1 ? static_cast<long long>(w) * h : -static_cast<long long>(w) * h;
        return std::make_tuple(fit, size, -bpp);
    };
    std::tuple<int, long long, int> bestScore{};
    for (size_t i = 0; i < count; ++i) {
        size_t e = 6 + 16 * i;
        uint32_t bytes = le32(b, e + 8), offset = le32(b, e + 12);
        if (offset > b.size() || bytes > b.size() - offset || bytes < 4) {
            why = "icon image " + std::to_string(i) + " lies outside the file";
            return std::nullopt;
        }
        std::string_view image = b.substr(offset, bytes);
        if (image.substr(0, 4) == "\x89PNG") continue;  // PNG images are not modelled
        auto color = readDib(image, 0, std::nullopt, true, why);
        if (!color) {
            why = "icon image " + std::to_string(i) + ": " + why;
            return std::nullopt;
        }
        int bpp = le16(image, 14);
        size_t maskAt = color->end;
        size_t maskBytes = stride(color->width, 1) * static_cast<size_t>(color->height);
        std::string mask;
        if (maskAt <= image.size() && image.size() - maskAt >= maskBytes) {
            mask = std::string(image.substr(maskAt, maskBytes));
        } else if (bpp == 32) {
            mask.assign(maskBytes, '\0');  // the alpha channel says it all
        } else {
            why = "icon image " + std::to_string(i) + ": its mask is cut short";
            return std::nullopt;
        }
        auto s = score(*color, bpp);
        if (!best || s < bestScore) {
            bestScore = s;
            best = IconImage{*color, maskDib(color->width, color->height, std::move(mask))};
        }
    }
    if (!best) why = "the icon holds no image we can read (PNG images are not supported)";
    return best;
}

HBITMAP makeBitmap(const PackedDib& dib) {
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(dib.info.data()), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    std::memcpy(bits, dib.bits.data(), dib.bits.size());
    return bitmap;
}

// The picture stretched by nearest pixel into a DIB section of the same format and another size.
HBITMAP makeStretched(const PackedDib& dib, int width, int height) {
    std::string info = dib.info;
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    header->biWidth = width;
    header->biHeight = dib.height < 0 ? -height : height;
    void* bits = nullptr;
    HBITMAP bitmap =
        CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = dc ? SelectObject(dc, bitmap) : nullptr;
    LONG sourceHeight = dib.height < 0 ? -dib.height : dib.height;
    int rows = old ? StretchDIBits(dc, 0, 0, width, height, 0, 0, dib.width, sourceHeight, dib.bits.data(),
                                   reinterpret_cast<const BITMAPINFO*>(dib.info.data()), DIB_RGB_COLORS, SRCCOPY)
                   : GDI_ERROR;
    if (old) SelectObject(dc, old);
    if (dc) DeleteDC(dc);
    if (rows == GDI_ERROR) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

// ---- Modules and icons -----------------------------------------------------------------------------------

struct Icon {
    IconImage image;
    bool shared = false;
};

struct Module {
    fs::path host;
    ResourceFile data;
    std::map<std::tuple<UINT, int, int>, HICON> sharedIcons;
};

struct State {
    std::mutex mutex;
    std::map<HMODULE, std::shared_ptr<Module>> modules;
    std::map<HICON, std::unique_ptr<Icon>> icons;
};
State& state() {
    static State* s = new State;
    return *s;
}

struct ProgramResources {
    std::mutex mutex;
    std::string bytes;
    bool read = false;
    std::shared_ptr<Module> module;
};
ProgramResources& programResources() {
    static ProgramResources* resources = new ProgramResources;
    return *resources;
}

void debugLine(const std::string& text);

// The program's own module, read from its bytes on first use.
std::shared_ptr<Module> programModule() {
    auto& program = programResources();
    std::lock_guard lock(program.mutex);
    if (!program.read) {
        program.read = true;
        if (!program.bytes.empty()) {
            std::string why;
            if (auto data = parse(program.bytes, &why)) {
                program.module = std::make_shared<Module>();
                program.module->data = std::move(*data);
            } else {
                debugLine("the program's own resources are damaged: " + why);
            }
        }
    }
    return program.module;
}

std::shared_ptr<Module> findModule(HMODULE module) {
    if (module && module == platform::detail::programModule()) return programModule();
    auto& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.modules.find(module);
    return it == s.modules.end() ? nullptr : it->second;
}

template <class Map>
std::vector<UINT> idsOf(HMODULE module, Map ResourceFile::*member) {
    std::vector<UINT> ids;
    if (auto m = findModule(module))
        for (const auto& [id, value] : m->data.*member) ids.push_back(id);
    return ids;
}

HICON insertIcon(IconImage image, bool shared) {
    auto icon = std::make_unique<Icon>();
    icon->image = std::move(image);
    icon->shared = shared;
    HICON handle = reinterpret_cast<HICON>(icon.get());
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.icons.emplace(handle, std::move(icon));
    return handle;
}

void debugLine(const std::string& text) { OutputDebugStringA(text.c_str()); }

}  // namespace

bool isResourceModule(HMODULE module) { return findModule(module) != nullptr; }

std::optional<DialogTemplate> findDialog(HMODULE module, UINT id) {
    auto m = findModule(module);
    if (!m) return std::nullopt;
    auto it = m->data.dialogs.find(id);
    if (it == m->data.dialogs.end()) return std::nullopt;
    return it->second;
}

bool isRightToLeft(HMODULE module) {
    auto m = findModule(module);
    return m && m->data.rightToLeft;
}

std::vector<UINT> stringIds(HMODULE module) { return idsOf(module, &ResourceFile::strings); }
std::vector<UINT> dialogIds(HMODULE module) { return idsOf(module, &ResourceFile::dialogs); }
std::vector<UINT> bitmapIds(HMODULE module) { return idsOf(module, &ResourceFile::bitmaps); }
std::vector<UINT> iconIds(HMODULE module) { return idsOf(module, &ResourceFile::icons); }

bool isResourceFile(const fs::path& host) {
    std::ifstream in(host, std::ios::binary);
    char head[sizeof kMagic] = {};
    if (!in.read(head, sizeof head)) return false;
    return hasMagic(std::string_view(head, sizeof head));
}

HMODULE openModule(const fs::path& host) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(host, ec);
    if (ec) key = host;
    auto& s = state();
    {
        std::lock_guard lock(s.mutex);
        for (const auto& [handle, module] : s.modules)
            if (module->host == key) return handle;
    }
    constexpr uintmax_t kMaxFile = uintmax_t{256} << 20;
    uintmax_t size = fs::file_size(host, ec);
    bool ok = !ec && size <= kMaxFile;
    std::string bytes = ok ? platform::detail::readHostFile(host, &ok) : std::string();
    std::string why = ok ? std::string() : "the file cannot be read or is too large";
    std::optional<ResourceFile> data = ok ? parse(bytes, &why) : std::nullopt;
    if (!data) {
        debugLine("LoadLibrary: " + toUtf8(platform::detail::windowsPathOf(host)) + ": damaged resource file: " + why);
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto module = std::make_shared<Module>();
    module->host = key;
    module->data = std::move(*data);
    HMODULE handle = reinterpret_cast<HMODULE>(module.get());
    std::lock_guard lock(s.mutex);
    s.modules.emplace(handle, std::move(module));
    return handle;
}

void setProgramResources(std::string_view bytes) {
    std::shared_ptr<Module> old;
    {
        auto& program = programResources();
        std::lock_guard lock(program.mutex);
        program.bytes.assign(bytes);
        program.read = false;
        old = std::move(program.module);
    }
    if (!old) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    for (const auto& [key, icon] : old->sharedIcons) s.icons.erase(icon);
}

void closeModule(HMODULE module) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.modules.find(module);
    if (it == s.modules.end()) return;
    for (const auto& [key, icon] : it->second->sharedIcons) s.icons.erase(icon);
    s.modules.erase(it);
}

}  // namespace platform::resources

using namespace platform::resources;

namespace {

// The resource of a type in a module, with Windows' errors for what is missing.
template <class Map>
const typename Map::mapped_type* lookup(const std::shared_ptr<Module>& m, Map ResourceFile::*member, UINT id) {
    if (!m) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const Map& map = m->data.*member;
    if (map.empty()) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto it = map.find(id);
    if (it == map.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return &it->second;
}

UINT idOf(LPCWSTR name) { return static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)); }

HBITMAP bitmapFrom(std::string_view bytes, int cx, int cy, const std::string& what) {
    std::string why;
    auto dib = decodeBmp(bytes, why);
    if (!dib) {
        OutputDebugStringA(("LoadBitmap: " + what + ": " + why).c_str());
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    LONG height = dib->height < 0 ? -dib->height : dib->height;
    int width = cx ? cx : dib->width;
    int rows = cy ? cy : height;
    if (width == dib->width && rows == height) return makeBitmap(*dib);
    return makeStretched(*dib, width, rows);
}

std::optional<IconImage> iconFrom(std::string_view bytes, int cx, int cy, const std::string& what) {
    std::string why;
    auto image = decodeIcon(bytes, cx ? cx : 32, cy ? cy : 32, why);
    if (!image) {
        OutputDebugStringA(("LoadIcon: " + what + ": " + why).c_str());
        SetLastError(ERROR_INVALID_DATA);
    }
    return image;
}

// The module's shared icon of this id and size, made on first use.
HICON sharedIcon(const std::shared_ptr<Module>& m, UINT id, int cx, int cy) {
    const std::string* bytes = lookup(m, &ResourceFile::icons, id);
    if (!bytes) return nullptr;
    auto key = std::make_tuple(id, cx, cy);
    auto& s = state();
    {
        std::lock_guard lock(s.mutex);
        auto it = m->sharedIcons.find(key);
        if (it != m->sharedIcons.end()) return it->second;
    }
    auto image = iconFrom(*bytes, cx, cy, "icon " + std::to_string(id));
    if (!image) return nullptr;
    HICON icon = insertIcon(std::move(*image), true);
    std::lock_guard lock(s.mutex);
    auto [it, added] = m->sharedIcons.emplace(key, icon);
    if (!added) s.icons.erase(icon);  // another thread made it first
    return it->second;
}

}  // namespace

int WINAPI LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size) {
    if (!buffer || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto m = findModule(module);
    const std::u16string* text = lookup(m, &ResourceFile::strings, id);
    if (!text) {
        if (size > 0) buffer[0] = u'\0';
        return 0;
    }
    if (size == 0) {
        // The module's data stays where it is until FreeLibrary.
        *reinterpret_cast<LPCWSTR*>(buffer) = text->data();
        return static_cast<int>(text->size());
    }
    size_t n = std::min(text->size(), static_cast<size_t>(size) - 1);
    std::copy_n(text->data(), n, buffer);
    buffer[n] = u'\0';
    return static_cast<int>(n);
}

HBITMAP WINAPI LoadBitmapW(HINSTANCE module, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto m = findModule(module);
    const std::string* bytes = lookup(m, &ResourceFile::bitmaps, idOf(name));
    if (!bytes) return nullptr;
    return bitmapFrom(*bytes, 0, 0, "bitmap " + std::to_string(idOf(name)));
}

HANDLE WINAPI LoadImageW(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
    if ((type != IMAGE_BITMAP && type != IMAGE_ICON) || cx < 0 || cy < 0 || cx > 16384 || cy > 16384 || !name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (flags & LR_LOADFROMFILE) {
        if (IS_INTRESOURCE(name)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto resolved = platform::detail::resolvePath(name);
        if (resolved.error != ERROR_SUCCESS) {
            SetLastError(resolved.error);
            return nullptr;
        }
        std::error_code ec;
        if (!fs::is_regular_file(resolved.host, ec)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (fs::file_size(resolved.host, ec) > (uintmax_t{256} << 20) || ec) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        bool ok = false;
        std::string bytes = platform::detail::readHostFile(resolved.host, &ok);
        if (!ok) {
            SetLastError(ERROR_READ_FAULT);
            return nullptr;
        }
        std::string what = platform::toUtf8(name);
        if (type == IMAGE_BITMAP) return bitmapFrom(bytes, cx, cy, what);
        auto image = iconFrom(bytes, cx, cy, what);
        return image ? insertIcon(std::move(*image), false) : nullptr;
    }
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    UINT id = idOf(name);
    auto m = findModule(module);
    if (type == IMAGE_BITMAP) {
        const std::string* bytes = lookup(m, &ResourceFile::bitmaps, id);
        return bytes ? bitmapFrom(*bytes, cx, cy, "bitmap " + std::to_string(id)) : nullptr;
    }
    int width = cx ? cx : 32, height = cy ? cy : 32;
    if (flags & LR_SHARED) return sharedIcon(m, id, width, height);
    const std::string* bytes = lookup(m, &ResourceFile::icons, id);
    if (!bytes) return nullptr;
    auto image = iconFrom(*bytes, width, height, "icon " + std::to_string(id));
    return image ? insertIcon(std::move(*image), false) : nullptr;
}

HICON WINAPI LoadIconW(HINSTANCE module, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return sharedIcon(findModule(module), idOf(name), 32, 32);
}

BOOL WINAPI GetIconInfo(HICON icon, PICONINFO info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    IconImage image;
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        auto it = s.icons.find(icon);
        if (it == s.icons.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        image = it->second->image;
    }
    HBITMAP color = makeBitmap(image.color);
    HBITMAP mask = color ? makeBitmap(image.mask) : nullptr;
    if (!mask) {
        if (color) DeleteObject(color);
        return FALSE;  // CreateDIBSection said why
    }
    LONG height = image.color.height < 0 ? -image.color.height : image.color.height;
    info->fIcon = TRUE;
    info->xHotspot = static_cast<DWORD>(image.color.width / 2);
    info->yHotspot = static_cast<DWORD>(height / 2);
    info->hbmColor = color;
    info->hbmMask = mask;
    return TRUE;
}

BOOL WINAPI DestroyIcon(HICON icon) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.icons.find(icon);
    if (it == s.icons.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!it->second->shared) s.icons.erase(it);
    return TRUE;
}
