// Removing the product's printer-driver, common and scan-interface files and its two port monitors, as
// "SetupCFG.xml" lists them, with the print spooler stopped for the driver files and started again.
#pragma once

#include <string>
#include <string_view>

#include "SetupConfig.h"

namespace uninstall {

// How long each wait for the spooler's state (stopped, then running) may last, in machine time.
inline constexpr DWORD kSpoolerWaitBound = 60000;

// "/XPSTYLE" for the XP and 5.2 family, "/W7STYLE" for every other system (unrecognised ones too).
void GetStyleFolder(std::u16string& style);
// The Windows folder cut before its last backslash ("C:" for "C:\Windows"); empty when it cannot be read.
std::u16string SystemDrivePrefix();

// Whether the running spooler lists a driver of this name (any case); false when it does not answer.
bool IsRegisteredDriver(std::u16string_view name);
// Deletes the product's drivers, their x64 files, both monitors and the Common files with the spooler
// stopped, and starts it again. A file another driver still lists stays. True when the deletions ran
// or the spooler that was stopped runs again; false when it could not be opened, queried, stopped or
// started.
bool DeletePrinterDriverFiles(const SetupConfig& config = setupConfig());
// The Common group's files, without touching the spooler.
void DeleteCommonDriverFiles(const SetupConfig& config = setupConfig());
// The scan-interface files: every TwainFile/sourcefile name in every TwainFile/DstName folder.
void DeleteTwainFiles(const SetupConfig& config = setupConfig());

}  // namespace uninstall
