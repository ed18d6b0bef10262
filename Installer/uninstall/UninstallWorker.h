// The removal worker: removes one printer, or every printer of the product's models with the whole
// driver software, in a fixed order, posting its progress to the progress page's window and the end
// message last. No step's failure stops the sequence.
#pragma once
#include "RemovalContext.h"

namespace uninstall {

// The thread procedure; the parameter is the RemovalContext. Posts the end message last; answers 0.
DWORD WINAPI UninstallThreadProc(LPVOID parameter);
int UninstallOnePrinter(RemovalContext& context, const std::u16string& printerName, int sameDriverCount,
                        const std::u16string& driverName);
int UninstallAll(RemovalContext& context);
int RemoveDriverSoftware(RemovalContext& context);

// Runs "printui.dll,PrintUIEntry /dl /n "<printer>"" through rundll32 of the system folder and waits
// for it to end. False when it could not be started.
bool RunPrintUiDelete(const std::u16string& printerName);

}  // namespace uninstall
