// Save type codes of a scanned page: the push command's file type, the file naming and the writers.
#pragma once

enum SaveType : int {
    SAVE_TYPE_WMF = 0,
    SAVE_TYPE_EMF = 1,
    SAVE_TYPE_BMP = 2,
    SAVE_TYPE_TIF = 3,
    SAVE_TYPE_JPG = 4,
    SAVE_TYPE_GIF = 5,
    SAVE_TYPE_PNG = 6,
    SAVE_TYPE_PDF = 7,
    SAVE_TYPE_DOC = 8,
    SAVE_TYPE_TXT = 9,
};
// The codes that have a file extension.
constexpr int SAVE_TYPE_COUNT = 10;
