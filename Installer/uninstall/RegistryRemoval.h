// The registry side of the removal: the product's printer-class and imaging-class device keys, its key
// below the 32-bit software view, the spooler's printer keys, and the one reader of registry texts.
// All keys are below HKEY_LOCAL_MACHINE; every failure on an existing key goes to the removal log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "SetupConfig.h"
#include "win/base.h"
#include "win/registry.h"

namespace uninstall {

// How the removal opens the keys it walks or deletes (KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY).
inline constexpr REGSAM kRemovalAccess = 0x2001F;

// The printer class and the value that names a device's driver.
inline constexpr char16_t kPrinterClassKey[] =
    u"System\\CurrentControlSet\\Control\\Class\\{4D36E979-E325-11CE-BFC1-08002BE10318}";
inline constexpr char16_t kDriverDescValue[] = u"DriverDesc";

// Reads a text value of an open key into `text`: REG_SZ or REG_EXPAND_SZ only, up to its first NUL. The
// value, with a terminator, must fit in `capacityBytes` (a value stored without one gets it within that
// room); a longer value, another type or a missing one reads as missing (false, `text` emptied).
bool ReadRegistryText(HKEY key, std::u16string_view name, size_t capacityBytes, std::u16string& text);

// Whether a text from the configuration or the registry may stand as one registry key name: not empty,
// no backslash, no control character, not "." or "..".
bool isSingleKeyName(std::u16string_view name);

// Deletes the key and everything below it. True when the key is gone (deleted, or not there).
bool DeleteRegistryTree(HKEY root, std::u16string_view path);

// Deletes every subkey of the key below HKEY_LOCAL_MACHINE (the key itself stays). A subkey that cannot
// be deleted is logged and stepped past, so the walk always ends.
void DeleteRegistrySubkeys(std::u16string_view path);

// Deletes the printer-class subkeys whose "DriverDesc" is exactly one of the configuration's model
// names (letter case counts). 3 when the class key cannot be opened, else 0.
int DeletePrinterClassKeys(const SetupConfig& config = setupConfig());

// Deletes, below the imaging class key `path`, every device key whose "DriverDesc" is exactly the
// description the configuration's SCANNERMENT/Element gives for `model`.
void DeleteImagingClassKeys(std::u16string_view path, std::u16string_view model,
                            const SetupConfig& config = setupConfig());
// Deletes the key (below HKEY_LOCAL_MACHINE) with its subkeys when its "DriverDesc" is exactly `expected`.
void DeleteImagingKeyIfModel(std::u16string_view key, std::u16string_view expected);

// Deletes the product's key below "SOFTWARE\Wow6432Node": the second CreateFolder/Folder/Dir name below
// the first, then the first when nothing else keeps it. Each Dir text loses its one leading backslash to
// become a key name. 3 when the product key cannot be opened or its name is empty or not one name, else 0.
int DeleteWow6432ProductKeys(const SetupConfig& config = setupConfig());

}  // namespace uninstall
