// Writing resource files: the header, the sorted directory and the resources' bytes.
#include "rescomp/writer.h"

#include <cstring>
#include <tuple>
#include <vector>

namespace rescomp {

namespace res = platform::resources;

namespace {

void put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void set32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void putUnits(std::string& out, const std::u16string& text) {
    for (char16_t c : text) put16(out, static_cast<uint16_t>(c));
}
void putText(std::string& out, const std::u16string& text, const std::string& what, UINT dialog, int control = -1) {
    if (text.size() > res::kMaxText)
        throw WriteError(what + " is longer than 65535 UTF-16 units", "dialog", dialog, control);
    put16(out, static_cast<uint16_t>(text.size()));
    putUnits(out, text);
}
void putCoords(std::string& out, int16_t x, int16_t y, int16_t cx, int16_t cy) {
    for (int16_t v : {x, y, cx, cy}) put16(out, static_cast<uint16_t>(v));
}

std::string dialogBytes(UINT id, const res::DialogTemplate& d) {
    std::string what = "dialog " + std::to_string(id);
    if (d.controls.size() > 0xFFFF) throw WriteError(what + " has more than 65535 controls", "dialog", id);
    std::string out;
    put32(out, d.style);
    put32(out, d.exStyle);
    putCoords(out, d.x, d.y, d.cx, d.cy);
    put16(out, d.pointSize);
    put16(out, static_cast<uint16_t>(d.controls.size()));
    putText(out, d.title, what + ": the title", id);
    putText(out, d.fontFace, what + ": the font face", id);
    int index = 0;
    for (const res::DialogControl& c : d.controls) {
        put32(out, c.style);
        put32(out, c.exStyle);
        put32(out, static_cast<uint32_t>(c.id));
        putCoords(out, c.x, c.y, c.cx, c.cy);
        putText(out, c.className, what + ": a control's class", id, index);
        putText(out, c.text, what + ": a control's text", id, index);
        ++index;
    }
    return out;
}

struct Entry {
    uint32_t type;
    uint32_t id;
    std::string bytes;
};

void checkId(uint32_t type, UINT id, const char* kind) {
    if (id > res::kMaxId || (type != res::kTypeString && id == 0))
        throw WriteError(std::string(kind) + " id " + std::to_string(id) + " is out of range", kind, id);
}

}  // namespace

std::string writeResourceFile(const res::ResourceFile& file) {
    std::vector<Entry> entries;  // std::map keeps each kind sorted; kinds go in type order
    for (const auto& [id, bytes] : file.bitmaps) {
        checkId(res::kTypeBitmap, id, "bitmap");
        if (bytes.size() < 2 || bytes.compare(0, 2, "BM") != 0)
            throw WriteError("bitmap " + std::to_string(id) + " is not a BMP file", "bitmap", id);
        entries.push_back({res::kTypeBitmap, id, bytes});
    }
    for (const auto& [id, bytes] : file.icons) {
        checkId(res::kTypeIcon, id, "icon");
        bool bmp = bytes.size() >= 2 && bytes.compare(0, 2, "BM") == 0;
        bool ico = bytes.size() >= 4 && bytes.compare(0, 4, std::string("\0\0\1\0", 4)) == 0;
        if (!bmp && !ico) throw WriteError("icon " + std::to_string(id) + " is neither ICO nor BMP", "icon", id);
        entries.push_back({res::kTypeIcon, id, bytes});
    }
    for (const auto& [id, dialog] : file.dialogs) {
        checkId(res::kTypeDialog, id, "dialog");
        entries.push_back({res::kTypeDialog, id, dialogBytes(id, dialog)});
    }
    for (const auto& [id, text] : file.strings) {
        checkId(res::kTypeString, id, "string");
        if (text.size() > res::kMaxText)
            throw WriteError("string " + std::to_string(id) + " is longer than 65535 UTF-16 units", "string", id);
        std::string bytes;
        putUnits(bytes, text);
        entries.push_back({res::kTypeString, id, std::move(bytes)});
    }
    for (const auto& [id, dialog] : file.dialogs) {
        if (dialog.className.empty()) continue;
        if (dialog.className.size() > res::kMaxClassName)
            throw WriteError("dialog " + std::to_string(id) + ": its window class is longer than 256 UTF-16 units", "dialog", id);
        std::string bytes;
        putUnits(bytes, dialog.className);
        entries.push_back({res::kTypeDialogClass, id, std::move(bytes)});
    }

    std::string out(sizeof res::kMagic, '\0');
    std::memcpy(out.data(), res::kMagic, sizeof res::kMagic);
    put16(out, res::kVersionMajor);
    put16(out, res::kVersionMinor);
    put32(out, file.rightToLeft ? res::kFlagRightToLeft : 0);
    put32(out, 0);  // file size, below
    put32(out, 0);  // checksum, below
    put32(out, static_cast<uint32_t>(entries.size()));
    put32(out, 0);
    size_t offset = res::kHeaderSize + entries.size() * res::kEntrySize;
    for (const Entry& e : entries) {
        put32(out, e.type);
        put32(out, e.id);
        put32(out, static_cast<uint32_t>(offset));
        put32(out, static_cast<uint32_t>(e.bytes.size()));
        offset += e.bytes.size();
    }
    if (offset > 0xFFFFFFFFu) throw std::invalid_argument("the resources do not fit in 4 GB");
    for (const Entry& e : entries) out += e.bytes;
    set32(out, 16, static_cast<uint32_t>(out.size()));
    sealChecksum(out);
    return out;
}

void sealChecksum(std::string& bytes) {
    if (bytes.size() < res::kHeaderSize) return;
    set32(bytes, 20, 0);
    set32(bytes, 20, res::crc32(bytes));
}

}  // namespace rescomp
