// CImageSaver: the image-encoding library and page saving by format.
#include "ImageSaver.h"

#include <algorithm>

#include "ProductConfig.h"
#include "afx/atlimage.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

template <typename T>
T entryOf(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

CImageSaver::~CImageSaver() {
    if (m_hLibrary) FreeLibrary(m_hLibrary);
}

BOOL CImageSaver::LoadImageEncoder() {
    if (m_hLibrary) return TRUE;
    WCHAR folder[MAX_PATH] = {}, prefix[MAX_PATH] = {};
    if (!GetExecutableFolder(folder)) return FALSE;
    GetProductIniString(u"TWAIN", u"File Prefix", prefix);
    const CString path = CString(folder) + prefix + u"Brondel.dll";
    m_hLibrary = LoadLibraryW(path);
    if (!m_hLibrary) return FALSE;
    m_pSaveFile = entryOf<PFN_SaveFile>(m_hLibrary, "SaveFile");
    m_pSaveAsJPG = entryOf<PFN_SaveAsJPG>(m_hLibrary, "SaveAsJPG");
    m_pSaveAsBMP = entryOf<PFN_SaveAsBMP>(m_hLibrary, "SaveAsBMP");
    m_pSaveAsTIFF = entryOf<PFN_SaveAsTIFF>(m_hLibrary, "SaveAsTIFF");
    m_pPdfAddPage = entryOf<PFN_PDF_AddPage>(m_hLibrary, "PDF_AddPage");
    m_pPdfFinish = entryOf<PFN_PDF_Finish>(m_hLibrary, "PDF_Finish");
    return m_pSaveFile && m_pSaveAsJPG && m_pSaveAsBMP && m_pSaveAsTIFF && m_pPdfAddPage && m_pPdfFinish;
}

BOOL CImageSaver::SetFormatFromPath(LPCWSTR path) {
    // Whatever the extension, this is a new scan: a later scan never appends to the last one's file.
    m_nPageCount = 0;
    m_nDuplexCount = 0;
    m_pageList.RemoveAll();
    m_frontList.RemoveAll();
    m_backList.RemoveAll();
    m_strPdfPath = path;
    const CString text(path);
    const int dot = text.ReverseFind(u'.');
    if (dot < 0) return FALSE;
    CString extension = text.Mid(dot + 1);
    extension.MakeLower();
    int format = FormatNone;
    if (extension == u"bmp") format = FormatBmp;
    else if (extension == u"png") format = FormatPng;
    else if (extension == u"jpg" || extension == u"jpeg") format = FormatJpg;
    else if (extension == u"tif" || extension == u"tiff") format = FormatTif;
    else if (extension == u"pdf") format = FormatPdf;
    if (format == FormatNone) return FALSE;
    m_nFormat = format;
    return TRUE;
}

int CImageSaver::SavePage(SharedImageBuffer* record, LPCWSTR path) {
    if (!m_hLibrary || !record) return 0;
    // A file the page makes and leaves unfinished is removed; one that was there before is left alone.
    const bool existed = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    int result = 0;
    switch (m_nFormat) {
    case FormatBmp: result = m_pSaveAsBMP(record, path); break;
    case FormatPng: {
        // The library writes JPEG; the picture is saved again under its own name, which makes it PNG.
        result = m_pSaveAsJPG(record, path, 90);
        CImage image;
        if (result && (FAILED(image.Load(path)) || FAILED(image.Save(path)))) result = 0;
        break;
    }
    case FormatJpg: result = m_pSaveAsJPG(record, path, 90); break;
    case FormatTif:
        result = m_pSaveAsTIFF(record, path, m_nPageCount + 1);
        if (result) ++m_nPageCount;
        else if (m_nPageCount > 0) return 0;  // the file holds the pages before this one: it stays
        break;
    case FormatPdf: {
        // Nothing of the PDF file is written before FinishImages.
        CString name;
        result = m_pPdfAddPage(record, &name);
        if (!result) return 0;
        if (++m_nPageCount == 1) {
            m_nFirstWidth = static_cast<int>(record->dwWidth);
            m_nFirstHeight = static_cast<int>(record->dwHeight);
            m_nFirstResolution = static_cast<int>(record->dwResolution);
            m_nFirstBitsPerPixel = static_cast<int>(record->dwBitsPerPixel);
        }
        m_pageList.Add(name);
        return result;
    }
    default: return 0;
    }
    if (!result && !existed) DeleteFileW(path);
    return result;
}

void CImageSaver::ReorderDuplex(CStringArray& pages, CStringArray& fronts, CStringArray& backs, int duplexCount) {
    fronts.RemoveAll();
    backs.RemoveAll();
    const INT_PTR d = duplexCount;
    while (pages.GetSize() < 2 * d) pages.Add(CString());
    // Fronts are the first D pages, the next D the backs in turned-stack order; pages beyond 2D
    // follow in scanning order.
    CStringArray rest;
    for (INT_PTR i = 0; i < pages.GetSize(); ++i) {
        if (i < d) fronts.Add(pages[i]);
        else if (i < 2 * d) backs.Add(pages[i]);
        else rest.Add(pages[i]);
    }
    pages.RemoveAll();
    const INT_PTR backCount = backs.GetSize();
    for (INT_PTR i = 0; i < fronts.GetSize(); ++i) {
        if (!fronts[i].IsEmpty()) pages.Add(fronts[i]);
        const CString& back = backs[backCount - 1 - i];  // the reversed back list
        if (!back.IsEmpty()) pages.Add(back);
    }
    pages.Append(rest);
}

BOOL CImageSaver::FinishImages() {
    // A scan that saved no page (no output path) writes no PDF.
    if (m_nFormat != FormatPdf || !m_hLibrary || m_pageList.GetSize() == 0) return TRUE;
    if (m_nDuplexCount != 0) ReorderDuplex(m_pageList, m_frontList, m_backList, m_nDuplexCount);
    const bool existed = GetFileAttributesW(m_strPdfPath) != INVALID_FILE_ATTRIBUTES;
    if (m_pPdfFinish(&m_pageList, m_nFirstWidth, m_nFirstHeight, m_nFirstResolution, m_nFirstBitsPerPixel,
                     m_strPdfPath))
        return TRUE;
    if (!existed) DeleteFileW(m_strPdfPath);
    return FALSE;
}
