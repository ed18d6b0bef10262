// Watermarks are not built yet: a page that asks for one prints without it.
#include "rastrel.h"

BOOL ApplyWatermark(DriverPdev*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
