// The uninstaller's reader of registry texts, over a value a system or another installer stored:
// byte 0 picks the value's type, byte 1 the reader's room, the rest is the value's data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "RegistryRemoval.h"
#include "win/registry.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    if (size < 2) return 0;
    static HKEY key = [] {
        HKEY made = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\FuzzValues", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made,
                            nullptr) != ERROR_SUCCESS)
            __builtin_trap();
        return made;
    }();
    static const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_NONE};
    const DWORD type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    const size_t capacity = data[1];
    if (RegSetValueExW(key, u"DriverDesc", 0, type, data + 2, static_cast<DWORD>(size - 2)) != ERROR_SUCCESS) return 0;
    std::u16string text = u"left over";
    const bool read = uninstall::ReadRegistryText(key, u"DriverDesc", capacity, text);
    if (read ? (text.size() + 1) * sizeof(WCHAR) > capacity : !text.empty()) __builtin_trap();
    return 0;
}
