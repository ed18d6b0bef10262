// The push command: a scan job in a few bytes, from the scanner's button or the command line.
#include "ScanManagerApp.h"

bool DecodePushCommand(LPCWSTR /*pszDevicePath*/, CScanManagerApp* /*pApp*/, const BYTE* /*pCommand*/, size_t /*nLength*/) {
    return false;
}
