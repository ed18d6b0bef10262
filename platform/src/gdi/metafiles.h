// Metafiles held as bytes: Windows metafiles and the enhanced metafiles GDI+ records.
#pragma once

#include <memory>
#include <vector>

#include "objects.h"

namespace platform::gdi {

struct MetafileBits : Object {
    DWORD type() const override { return enhanced ? OBJ_ENHMETAFILE : OBJ_METAFILE; }
    bool enhanced = false;
    std::vector<BYTE> bytes;
};

HENHMETAFILE makeEnhMetafile(std::vector<BYTE> bytes);
// The metafile of a handle of that kind, or null (ERROR_INVALID_HANDLE).
std::shared_ptr<MetafileBits> metafileOf(HGDIOBJ handle, bool enhanced);

}  // namespace platform::gdi
