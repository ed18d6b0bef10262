// INI files as the profile calls read them, such as the product INI: the reader over the bytes, then
// the calls themselves on a machine, with room for the answer from none to plenty.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"
#include "win/kernel.h"
#include "support.h"

namespace {

constexpr char16_t kIni[] = u"C:\\Windows\\product.ini";

// The profile call into a buffer of `size` units with guard units after it, which must stay.
void call(LPCWSTR section, LPCWSTR key, DWORD size) {
    std::vector<WCHAR> buffer(size + 8, u'#');
    const DWORD result = GetPrivateProfileStringW(section, key, u"fallback", buffer.data(), size, kIni);
    if (size > 0 && result >= size) __builtin_trap();
    for (size_t i = size; i < buffer.size(); ++i)
        if (buffer[i] != u'#') __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<platform::profile::ProfileLine> lines = platform::profile::readProfileLines(bytes);

    fuzzing::machine().writeFile(kIni, bytes);
    std::u16string section = u"TWAIN", key = u"File Prefix";
    for (const auto& line : lines) {
        if (line.kind == platform::profile::ProfileLine::Kind::kSection) section = line.name;
        if (line.kind == platform::profile::ProfileLine::Kind::kEntry) {
            key = line.name;
            break;
        }
    }
    // Each call reads the file afresh, which is slow: a small room from the input's last byte, and
    // plenty for the value.
    const DWORD room = size > 0 ? 1u + data[size - 1] % 16u : 1u;
    call(nullptr, nullptr, room);
    call(section.c_str(), nullptr, room);
    call(section.c_str(), key.c_str(), room);
    call(section.c_str(), key.c_str(), MAX_PATH);
    return 0;
}
