// The product's driver packages (through the driver-package library in the product folder), its
// program files, the two data files of its printer and fax interfaces, and the per-model reset of the
// device flags. Every path joins a base with configuration text through the path guard.
#pragma once
#include <string>

#include "RemovalContext.h"

namespace uninstall {

inline constexpr size_t kProductFolderCapacity = 512;
// A driver-store path longer than this (in characters) is not believed.
inline constexpr DWORD kMaxStorePathLength = 32767;
inline constexpr DWORD kDriverPackageForce = 4;
// The library's answer for a package that is not in the driver store.
inline constexpr DWORD kPackageNotInStore = 0xE0000302;

// The program-files folder, then each CreateFolder/Folder/Dir text followed by "\". False when the base
// cannot be had or the guard refuses the join.
bool ProductInstallFolder(const SetupConfig& config, std::u16string& folder);
// The product folder followed by DLL_NORMAL/source_dll "DIFX", "%Systembit%" read as "x64".
bool DifxLibraryPath(const SetupConfig& config, std::u16string& path);

// Each removes its packages from the driver store; the library is loaded for the operation and freed
// at its end, and the context's two entry points are replaced by the ones it found.
void UninstallPrinterPackage(RemovalContext& context);
void UninstallFaxPackage(RemovalContext& context);
void UninstallScannerPackage(RemovalContext& context);

void DeleteProgramFiles(RemovalContext& context);
void DeleteUiDataFile(RemovalContext& context);
void DeleteFaxDataFile(RemovalContext& context);
// SetDeviceProperty for each model's device flag and its "_Fax" variant.
void ResetModelDeviceFlags(RemovalContext& context);

// Logs a failed removal and marks the run incomplete when its target is still there.
void noteRemovalFailure(RemovalContext& context, std::u16string_view operation, std::u16string_view target,
                        DWORD error, std::string_view reason = {});
// Logs a step that could not run where it should, and marks the run incomplete.
void noteStepNotRun(RemovalContext& context, std::u16string_view operation, std::u16string_view target,
                    DWORD error, std::string_view reason);

}  // namespace uninstall
