// Resource modules: the file format of our language resource libraries, its reader, and what the
// framework asks of a loaded module (dialog templates, ids, the right-to-left flag). Not a Windows
// interface: the Win32 calls over it are in win/resources.h.
//
// ---- The resource file format, version 1 -----------------------------------------------------------
// All numbers little-endian. A file is a header, a directory and the resources' bytes.
//
//   header (32 bytes)
//     0  magic      8 bytes  "MFRES\r\n\x1a"
//     8  major      u16      1; other major versions are refused
//    10  minor      u16      1; later minors only add resource types (unknown types are skipped)
//    12  flags      u32      bit 0: the library is right-to-left; other bits must be 0
//    16  fileSize   u32      the size of the whole file
//    20  crc32      u32      CRC-32 (IEEE) of the whole file with this field read as 0
//    24  count      u32      directory entries
//    28  reserved   u32      0
//   directory (count x 16 bytes, sorted by type then id, no two alike)
//     type u32 (2 bitmap, 3 icon, 5 dialog, 6 string, 7 dialog class), id u32, offset u32, size u32 (the bytes
//     lie between the end of the directory and the end of the file)
//   string    UTF-16LE code units, no terminator (at most 65535 units); ids 0-65535
//   bitmap    the bytes of a BMP file ("BM..."); ids 1-65535
//   icon      the bytes of an ICO file (00 00 01 00 ...) or of a BMP file; ids 1-65535
//   dialog    style u32, exStyle u32, x y cx cy i16 (dialog units), pointSize u16, controls u16,
//             title text, font face text, then per control: style u32, exStyle u32, id i32,
//             x y cx cy i16, class text, caption text; ids 1-65535. A text is u16 units + UTF-16LE.
//             The payload holds exactly that: trailing bytes are damage.
//   dialog class  (since minor 1) the window class a dialog is made of, in place of the system
//             dialog class: UTF-16LE units, 1 to 256, no terminator; its id is that of a dialog of
//             the same file
// Everything is bounds-checked on reading: a file that breaks any rule above is refused whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/base.h"

namespace platform::resources {

inline constexpr char kMagic[8] = {'M', 'F', 'R', 'E', 'S', '\r', '\n', '\x1a'};
inline constexpr uint16_t kVersionMajor = 1;
inline constexpr uint16_t kVersionMinor = 1;
inline constexpr uint32_t kFlagRightToLeft = 0x1;
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kEntrySize = 16;
inline constexpr uint32_t kTypeBitmap = 2;
inline constexpr uint32_t kTypeIcon = 3;
inline constexpr uint32_t kTypeDialog = 5;
inline constexpr uint32_t kTypeString = 6;
inline constexpr uint32_t kTypeDialogClass = 7;
inline constexpr size_t kMaxClassName = 256;
inline constexpr uint32_t kMaxId = 0xFFFF;
inline constexpr size_t kMaxText = 0xFFFF;
// The extended dialog style that lays a dialog out from right to left.
inline constexpr uint32_t kLayoutRightToLeft = 0x00400000;  // WS_EX_LAYOUTRTL

struct DialogControl {
    std::u16string className;  // BUTTON, STATIC, EDIT, COMBOBOX, SysListView32, msctls_progress32, ...
    std::u16string text;
    int32_t id = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units

    bool operator==(const DialogControl&) const = default;
};

struct DialogTemplate {
    std::u16string title;
    std::u16string fontFace;
    uint16_t pointSize = 8;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::vector<DialogControl> controls;
    std::u16string className;  // the window class of the dialog itself; empty: the system's "#32770"

    bool rightToLeft() const { return (exStyle & kLayoutRightToLeft) != 0; }
    bool operator==(const DialogTemplate&) const = default;
};

// The whole content of a resource file.
struct ResourceFile {
    bool rightToLeft = false;
    std::map<UINT, std::u16string> strings;
    std::map<UINT, DialogTemplate> dialogs;
    std::map<UINT, std::string> bitmaps;  // BMP file bytes
    std::map<UINT, std::string> icons;    // ICO or BMP file bytes

    bool operator==(const ResourceFile&) const = default;
};

// CRC-32 (IEEE 802.3, reflected, as zlib computes it).
uint32_t crc32(std::string_view bytes);
// True when the bytes start with the format's magic.
bool hasMagic(std::string_view bytes);
// Reads a resource file; nothing when it breaks a rule of the format, with the reason in `why`.
std::optional<ResourceFile> parse(std::string_view bytes, std::string* why = nullptr);

// ---- A loaded module, for the framework -----------------------------------------------------------
// These answer for modules that LoadLibraryW opened as resource files; for any other handle they
// give nothing (empty lists, false).
bool isResourceModule(HMODULE module);
std::optional<DialogTemplate> findDialog(HMODULE module, UINT id);
// The file-level right-to-left flag (the library's language is written from right to left).
bool isRightToLeft(HMODULE module);
std::vector<UINT> stringIds(HMODULE module);
std::vector<UINT> dialogIds(HMODULE module);
std::vector<UINT> bitmapIds(HMODULE module);
std::vector<UINT> iconIds(HMODULE module);

// ---- The program's own resources -------------------------------------------------------------------
// The resource file compiled into the running program (mfp_program_resources in cmake/Resources.cmake
// sets it before main); the program's module (GetModuleHandleW(NULL)) answers from it as a resource
// module does. Read when first asked for; a damaged file leaves the program with no resources (and a
// debug line saying why). Tests set their own; empty bytes take them away.
void setProgramResources(std::string_view bytes);

// ---- For the loader (modules.cpp) -----------------------------------------------------------------
// True when the host file starts with the format's magic.
bool isResourceFile(const std::filesystem::path& host);
// Opens a resource file as a module; the same handle again while it is open (the loader counts the
// references). Null with ERROR_BAD_EXE_FORMAT (and a debug line saying why) for a damaged file.
HMODULE openModule(const std::filesystem::path& host);
// Releases a module opened by openModule, with the shared icons it handed out.
void closeModule(HMODULE module);

}  // namespace platform::resources
