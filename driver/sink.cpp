// The output sink: stream bytes go to the spooler, or first into spool files that the end of the
// document replays for collated copies, reverse order and two-pass duplex.
#include <cstring>

#include "stream.h"
#include "win/shell.h"

namespace {

BOOL WriteWhole(HANDLE file, const BYTE* bytes, DWORD count) {
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

BOOL ReadWhole(HANDLE file, BYTE* bytes, DWORD count) {
    DWORD read = 0;
    return ReadFile(file, bytes, count, &read, nullptr) && read == count;
}

BOOL Seek(HANDLE file, LONGLONG offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
}

// Reads `count` bytes at `offset` of a spool file and sends them to the printer.
BOOL Resend(HANDLE printer, HANDLE file, LONGLONG offset, DWORD count) {
    if (count == 0) return TRUE;
    if (!Seek(file, offset)) return FALSE;
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, count));
    if (!block) return FALSE;
    DWORD written = 0;
    BOOL ok = ReadWhole(file, block, count) && WritePrinterRetry(printer, block, count, &written);
    HeapFree(GetProcessHeap(), 0, block);
    return ok;
}

// The folder of the driver's temporary files: the templates folder, or the common application data
// folder where the templates folder is not to be had.
BOOL TempFolder(CHAR* folder) {
    HRESULT hr = SHGetFolderPathA(nullptr, CSIDL_TEMPLATES, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (hr == E_FAIL) hr = SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return SUCCEEDED(hr);
}

void ClearSpoolState(DriverPdev* pdev) {
    pdev->pageSpool = pdev->headerSpool = nullptr;
    pdev->spooledPages = 0;
    std::memset(pdev->pageTable, 0, sizeof pdev->pageTable);
    pdev->pageSpoolPath[0] = pdev->headerSpoolPath[0] = 0;
}

void ResetSpool(DriverPdev* pdev) {
    pdev->spooledPages = 0;
    std::memset(pdev->pageTable, 0, sizeof pdev->pageTable);
    Seek(pdev->pageSpool, 0);
}

}  // namespace

StreamSink SinkFor(DriverPdev* pdev) {
    StreamSink sink{};
    sink.printer = pdev->printer;
    sink.pageSpool = pdev->pageSpool;
    sink.headerSpool = pdev->headerSpool;
    sink.pageIndex = static_cast<DWORD>(pdev->spooledPages);
    sink.spooling = IsSpooling(pdev);
    sink.direct = IsDirectAndSpool(pdev);
    sink.pageTable = pdev->pageTable;
    sink.headerSent = &pdev->headerSent;
    return sink;
}

BOOL WritePrinterRetry(HANDLE printer, const BYTE* bytes, DWORD count, DWORD* written) {
    DWORD total = 0;
    DWORD retries = 0;
    BOOL ok = FALSE;
    while (true) {
        DWORD done = 0;
        ok = WritePrinter(printer, const_cast<BYTE*>(bytes + total), count - total, &done);
        total += done;
        if (ok) {
            if (total >= count) break;
            if (done == 0) {  // success without progress: give up rather than spin
                SetLastError(ERROR_WRITE_FAULT);
                ok = FALSE;
                break;
            }
            continue;  // part went out: go on with the rest
        }
        // A failure after part of the bytes went out is not tried again: the printer has them.
        if (done != 0 || retries == kWriteRetries) break;
        ++retries;
        Sleep(kWriteRetryPause);
    }
    if (written) *written = total;
    return ok && total == count;
}

BOOL WriteStreamChunk(StreamSink* sink) {
    if (sink->spooling) {
        if (sink->pageData) {
            if (sink->pageIndex >= static_cast<DWORD>(kSpoolPageLimit))
                OutputDebugStringW(u"Rastrel: the spool is full, it holds 3000 sheets at most");
            if (!sink->pageSpool || sink->pageIndex >= static_cast<DWORD>(kSpoolPageLimit)) {
                SetLastError(ERROR_INVALID_DATA);
                return FALSE;
            }
            if (!WriteWhole(sink->pageSpool, sink->bytes, sink->count)) return FALSE;
            sink->pageTable[sink->pageIndex] += sink->count;
        } else {
            if (!sink->headerSpool || sink->pageIndex >= static_cast<DWORD>(kSpoolPageLimit)) {
                SetLastError(ERROR_INVALID_DATA);
                return FALSE;
            }
            if (!WriteWhole(sink->headerSpool, sink->bytes, sink->count)) return FALSE;
        }
        if (!sink->direct) return TRUE;
    }
    DWORD written = 0;
    if (!WritePrinterRetry(sink->printer, sink->bytes, sink->count, &written)) return FALSE;
    if (!sink->pageData && sink->headerSent) *sink->headerSent = 1;
    return TRUE;
}

BOOL SinkWrite(StreamSink* sink, const BYTE* bytes, DWORD count, BOOL pageData) {
    sink->bytes = bytes;
    sink->count = count;
    sink->pageData = pageData ? 1 : 0;
    return WriteStreamChunk(sink);
}

BOOL OpenDriverTempFile(const CHAR* prefix, CHAR* path, HANDLE* file) {
    *file = nullptr;
    path[0] = 0;
    CHAR folder[MAX_PATH];
    if (!TempFolder(folder) || !GetTempFileNameA(folder, prefix, 0, path)) {
        path[0] = 0;
        return FALSE;
    }
    HANDLE opened = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        DeleteFileA(path);  // the name was made as an empty file
        path[0] = 0;
        return FALSE;
    }
    *file = opened;
    return TRUE;
}

void CloseDriverTempFile(HANDLE* file, CHAR* path) {
    if (*file && *file != INVALID_HANDLE_VALUE) CloseHandle(*file);
    *file = nullptr;
    if (path[0]) DeleteFileA(path);
    path[0] = 0;
}

BOOL OpenSpoolTempFiles(DriverPdev* pdev) {
    CloseDriverTempFile(&pdev->pageSpool, pdev->pageSpoolPath);
    CloseDriverTempFile(&pdev->headerSpool, pdev->headerSpoolPath);
    ClearSpoolState(pdev);
    if (OpenDriverTempFile("ps", pdev->pageSpoolPath, &pdev->pageSpool) &&
        OpenDriverTempFile("head", pdev->headerSpoolPath, &pdev->headerSpool))
        return TRUE;
    // Half a spool is no spool: let go of what was made.
    CloseDriverTempFile(&pdev->pageSpool, pdev->pageSpoolPath);
    ClearSpoolState(pdev);
    return FALSE;
}

BOOL ReplaySpool(DriverPdev* pdev, int pass) {
    if (!pdev->pageSpool || !pdev->headerSpool) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD copyPasses = 1;
    if (pdev->collate && pdev->copies > 1) copyPasses = pdev->copies - (IsDirectAndSpool(pdev) ? 1 : 0);

    // The job header goes out once: with the first replay, unless it already went straight out.
    if (pass != 3 && !pdev->headerSent) {
        DWORD size = GetFileSize(pdev->headerSpool, nullptr);
        if (size == INVALID_FILE_SIZE || !Resend(pdev->printer, pdev->headerSpool, 0, size)) return FALSE;
        pdev->headerSent = 1;
    }

    int sheets = 0;
    while (sheets < kSpoolPageLimit && pdev->pageTable[sheets] != 0) ++sheets;
    LONGLONG offsets[kSpoolPageLimit];
    LONGLONG running = 0;
    for (int i = 0; i < sheets; ++i) {
        offsets[i] = running;
        running += pdev->pageTable[i];
    }
    // Pass 2 sends the front sides (sheets 1, 3, ...) in order, pass 3 the back sides (2, 4, ...)
    // from the last; reverse order applies to the one-pass replay only.
    int lastBack = sheets % 2 == 0 ? sheets - 1 : sheets - 2;
    for (DWORD copy = 0; copy < copyPasses; ++copy) {
        if (pass == 2) {
            for (int i = 0; i < sheets; i += 2)
                if (!Resend(pdev->printer, pdev->pageSpool, offsets[i], pdev->pageTable[i])) return FALSE;
        } else if (pass == 3) {
            for (int i = lastBack; i >= 0; i -= 2)
                if (!Resend(pdev->printer, pdev->pageSpool, offsets[i], pdev->pageTable[i])) return FALSE;
        } else {
            for (int v = 0; v < sheets; ++v) {
                int i = pdev->reverseOrder ? sheets - 1 - v : v;
                if (!Resend(pdev->printer, pdev->pageSpool, offsets[i], pdev->pageTable[i])) return FALSE;
            }
        }
    }
    if (pass != 2) ResetSpool(pdev);
    return TRUE;
}

BOOL FinishSpool(DriverPdev* pdev) {
    // A document with no sheet is its header alone: nothing to replay, no pause between passes.
    if ((pdev->duplexKind != 1 && pdev->duplexKind != 2) || pdev->pageTable[0] == 0) return ReplaySpool(pdev, 1);
    return ReplaySpool(pdev, 2) && WritePauseChunk(pdev->printer) && ReplaySpool(pdev, 3);
}

SheetMark MarkSheet(DriverPdev* pdev) {
    SheetMark mark{static_cast<DWORD>(pdev->spooledPages), 0};
    if (pdev->pageSpool && IsSpooling(pdev)) mark.spoolOffset = static_cast<LONG>(SetFilePointer(pdev->pageSpool, 0, nullptr, FILE_CURRENT));
    return mark;
}

void RollBackSheet(DriverPdev* pdev, const SheetMark& mark) {
    if (!pdev->pageSpool || !IsSpooling(pdev) || mark.pageIndex >= static_cast<DWORD>(kSpoolPageLimit)) return;
    pdev->pageTable[mark.pageIndex] = 0;
    Seek(pdev->pageSpool, mark.spoolOffset);
}
