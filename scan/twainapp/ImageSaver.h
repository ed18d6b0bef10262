// CImageSaver: binds the image-encoding library and keeps one scan's saving state: output format,
// page counter, PDF page names and the manual-duplex count that puts PDF pages in reading order.
#pragma once

#include "ImageEncoder.h"

class CImageSaver {
public:
    enum Format { FormatNone = -1, FormatBmp = 0, FormatPng = 1, FormatJpg = 2, FormatTif = 3, FormatPdf = 4 };

    CImageSaver() = default;
    CImageSaver(const CImageSaver&) = delete;
    CImageSaver& operator=(const CImageSaver&) = delete;
    ~CImageSaver();

    // "<program folder><File Prefix>Brondel.dll" with all six exports.
    BOOL LoadImageEncoder();
    // The format from the extension; always starts a new scan (page counter, duplex count, lists, path).
    BOOL SetFormatFromPath(LPCWSTR path);
    // Non-zero when the page is saved. A failed page counts for nothing, and a file it made and left
    // unfinished is removed (a TIFF file that holds earlier pages stays).
    int SavePage(SharedImageBuffer* record, LPCWSTR path);
    // Completes a PDF: puts a manual-duplex scan in reading order and writes the file. FALSE when the
    // file could not be written (a file it made is removed).
    BOOL FinishImages();

    // Fronts then backs (scanned from the turned stack) into reading order, split at `duplexCount`.
    static void ReorderDuplex(CStringArray& pages, CStringArray& fronts, CStringArray& backs, int duplexCount);

    int Format() const { return m_nFormat; }
    int PageCount() const { return m_nPageCount; }
    int DuplexCount() const { return m_nDuplexCount; }
    void SetDuplexCount(int count) { m_nDuplexCount = count; }
    const CStringArray& Pages() const { return m_pageList; }
    const CString& PdfPath() const { return m_strPdfPath; }

private:
    HMODULE m_hLibrary = nullptr;
    PFN_SaveFile m_pSaveFile = nullptr;
    PFN_SaveAsJPG m_pSaveAsJPG = nullptr;
    PFN_SaveAsBMP m_pSaveAsBMP = nullptr;
    PFN_SaveAsTIFF m_pSaveAsTIFF = nullptr;
    PFN_PDF_AddPage m_pPdfAddPage = nullptr;
    PFN_PDF_Finish m_pPdfFinish = nullptr;
    CStringArray m_pageList, m_frontList, m_backList;
    int m_nFirstWidth = 0, m_nFirstHeight = 0, m_nFirstResolution = 0, m_nFirstBitsPerPixel = 0;
    CString m_strPdfPath;
    int m_nPageCount = 0;
    int m_nDuplexCount = 0;
    int m_nFormat = FormatNone;
};
