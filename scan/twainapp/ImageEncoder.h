// The image-encoding library "<File Prefix>Brondel.dll": its six exports, called with the standard
// calling convention, each answering an int: non-zero when the file or the page was written, 0 when
// it was not (SaveFile is never called). Page names are CString
// objects and the page list of PDF_Finish a CStringArray (the framework's wide strings).
#pragma once

#include "SharedImageBuffer.h"
#include "afx/afxstr.h"

typedef int(WINAPI* PFN_SaveFile)(SharedImageBuffer* record, LPCWSTR path);
typedef int(WINAPI* PFN_SaveAsJPG)(SharedImageBuffer* record, LPCWSTR path, int quality);
typedef int(WINAPI* PFN_SaveAsBMP)(SharedImageBuffer* record, LPCWSTR path);
typedef int(WINAPI* PFN_SaveAsTIFF)(SharedImageBuffer* record, LPCWSTR path, int page);
typedef int(WINAPI* PFN_PDF_AddPage)(SharedImageBuffer* record, CString* pageName);
typedef int(WINAPI* PFN_PDF_Finish)(CStringArray* pages, int width, int height, int resolution, int bitsPerPixel,
                                    LPCWSTR pdfPath);
