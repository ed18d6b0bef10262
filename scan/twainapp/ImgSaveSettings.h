// "imgSaveSettings.dat": where and how the data source's interface wants the pages saved
// (2100 bytes, little-endian, UTF-16 texts of 260 characters).
#pragma once

#include "win/base.h"

struct ImgSaveSettings {
    WCHAR szFolder[260];     // folder to save in
    WCHAR szFileName[260];   // file name without extension
    WCHAR szExtension[260];  // extension without the dot
    int32_t nOpenFile;       // open the saved file after the scan
    int32_t nOpenFolder;     // open the folder with the saved files selected
    int32_t nSendMail;       // mail the saved files
    WCHAR szMailProgram[260];
    int32_t nReserved1;
    int32_t nReserved2;
};
static_assert(sizeof(ImgSaveSettings) == 2100, "the settings file is 2100 bytes");
