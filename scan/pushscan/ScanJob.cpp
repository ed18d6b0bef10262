// The tables of the push command's bytes.
#include "ScanJob.h"

const int g_nResolutions[RESOLUTION_COUNT] = {75, 150, 300, 600};

const PaperSize g_PaperSizes[PAPER_SIZE_COUNT] = {
    {9921, 14031},   // 0 A4 (210 x 297 mm)
    {6992, 9921},    // 1 A5 (148 x 210 mm)
    {9921, 6992},    // 2 A5 landscape
    {8598, 12142},   // 3 B5 JIS (182 x 257 mm)
    {10205, 14031},  // 4 full bed (216 x 297 mm)
    {10200, 13200},  // 5 Letter (8.5 x 11 in)
    {4252, 2598},    // 6 card (90 x 55 mm)
    {10200, 16800},  // 7 Legal (8.5 x 14 in)
    {10200, 15590},  // 8 8.5 x 13 in
    {8315, 11811},   // 9 B5 ISO (176 x 250 mm)
    {4961, 6992},    // 10 A6 (105 x 148 mm)
};

const PaperSize g_FullBed = {10205, 14031};

const int g_nSaveTypes[FILE_TYPE_COUNT] = {SAVE_TYPE_TIF, SAVE_TYPE_JPG, SAVE_TYPE_PDF};
