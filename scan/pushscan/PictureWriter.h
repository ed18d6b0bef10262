// Saving one scanned page: the page arrives as a complete Windows bitmap file (rows top-down) in a
// memory stream and is written in the format of a save type code.
#pragma once

#include "SaveType.h"
#include "win/com.h"
#include "win/gdiplus.h"

// Writer results besides 0 and -1.
constexpr int SAVE_OUT_OF_MEMORY = -40;
constexpr int SAVE_INVALID_ARGUMENT = -41;

// 0 or an error code; a failed save may leave a partial file behind for the caller to delete.
int SavePageStream(IStream* stream, LPCWSTR path, int saveType);
// The index and class id of the first encoder whose MIME type is exactly the text, or -1.
int GetEncoderClsid(LPCWSTR mimeType, CLSID* clsid);
// The encoder of a save type (1 "image/emf", 2 "image/bmp", 3 "image/tiff", 4 "image/jpeg", 5
// "image/gif", 6 "image/png", any other "image/wmf"): its index, or -1.
int GetEncoderForType(CLSID* clsid, int saveType);
// The page drawn into an enhanced metafile at the path, or into a Windows metafile made from a
// temporary one. 0 or an error code.
int SaveMetafile(IStream* stream, LPCWSTR path, bool enhanced, bool oneBit);
// The page as an LZW TIFF written line by line. 0 or -1.
int SaveTiff(IStream* stream, LPCWSTR path);
// GDI+ status to program code: Ok 0, InvalidParameter -41, OutOfMemory -40, any other -1.
int GdipStatusToCode(GpStatus status);
