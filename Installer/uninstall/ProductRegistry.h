// What "delete all" removes from the registry and shared folders once the printers, packages and files
// are gone: the spooler's x64 driver and printer keys, the product's software keys and values, its
// run-at-logon value, its installed-programs entry, its start-menu folder, the imaging-class keys and
// the emptied product folders. Keys are below HKEY_LOCAL_MACHINE unless said otherwise.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "FolderRemoval.h"
#include "RemovalContext.h"

namespace uninstall {

inline constexpr char16_t kVersion3Key[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3";
inline constexpr char16_t kPrintersKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr char16_t kRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kUninstallKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char16_t kShellFoldersKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Composed key paths longer than these (in characters, without the NUL) are not opened: cut, they
// would name another key.
inline constexpr size_t kSpoolerKeyCapacity = 260;
inline constexpr size_t kSoftwareKeyCapacity = 128;
inline constexpr size_t kCommonProgramsBytes = 256;

// The answers of the operations that have one.
inline constexpr int kRegistryDone = 0;
inline constexpr int kRegistrySkipped = 3;

// The Windows and the system folder in buffers of kFolderTreeCapacity characters; empty when they
// cannot be had (a step then skips rather than join onto the current drive).
std::u16string WindowsFolderPath();
std::u16string SystemFolderPath();

// A local printer as the running spooler lists it at level 2.
struct ListedPrinter {
    std::u16string name;
    std::u16string port;
    std::u16string driver;
};
// EnumPrintersW (local, level 2) asked for its size first; false when that call did not ask for a
// buffer or the second one failed.
bool ListLocalPrinters(std::vector<ListedPrinter>& printers);

void DeleteDriverVersionKeys(RemovalContext& context);
void DeletePrinterKeys(RemovalContext& context);
int DeleteUserSoftwareKey(RemovalContext& context);
int DeleteRunValue(RemovalContext& context);
void CleanDeviceRegistry(RemovalContext& context);
int DeleteProductSoftwareValues(RemovalContext& context, std::u16string_view name);
int DeleteStartMenuFolder(RemovalContext& context, std::u16string_view model);
int DeleteProductSoftwareKey(RemovalContext& context, std::u16string_view name);
void RemoveEmptyProductFolders(RemovalContext& context);

}  // namespace uninstall
