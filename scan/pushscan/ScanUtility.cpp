// The scan thread and its page loop.
#include "ScanUtility.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "ProductConfig.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

struct ThreadBlock {
    CScanUtility* pUtility;
    ScanJobRecord* pJob;
};

void DebugPrintf(const char* pszFormat, int nValue) {
    char szText[128];
    std::snprintf(szText, sizeof szText, pszFormat, nValue);
    OutputDebugStringA(szText);
}

int Send(ScanJobRecord* pJob, int nType, int nPercent = 0, int nBytes = 0, int nError = 0) {
    TransferMessage message = {nType, nPercent, nBytes, nError};
    return pJob->pCallback->TransferCallback(0, &message);
}

int SendError(ScanJobRecord* pJob, int nCode) { return Send(pJob, TRANSFER_MSG_PROGRESS, 0, 0, nCode); }

BOOL FolderExists(LPCWSTR pszFolder) {
    const DWORD dwAttributes = GetFileAttributesW(pszFolder);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Bigger chunks at higher resolutions, so that a page takes few messages and stream writes.
DWORD ChunkSize(int nXResolution) {
    if (nXResolution == 75 || nXResolution == 150) return SCAN_CHUNK_LOW;
    if (nXResolution == 300) return SCAN_CHUNK_MEDIUM;
    return SCAN_CHUNK_HIGH;
}

// The page stream the receiver handed out; this thread's reference goes when the page is done.
class PageStream {
public:
    ~PageStream() { Reset(); }
    IStream** Out() {
        Reset();
        return &m_pStream;
    }
    IStream* Get() const { return m_pStream; }
    void Reset() {
        if (m_pStream) m_pStream->Release();
        m_pStream = nullptr;
    }

private:
    IStream* m_pStream = nullptr;
};

// The stream's memory, locked while the page's rows are read into it; none when the stream is not
// one over global memory (its rows are then written through the stream).
class StreamMemory {
public:
    explicit StreamMemory(IStream* pStream) {
        if (SUCCEEDED(GetHGlobalFromStream(pStream, &m_hMemory)) && m_hMemory)
            m_pData = static_cast<BYTE*>(GlobalLock(m_hMemory));
    }
    ~StreamMemory() { Unlock(); }
    StreamMemory(const StreamMemory&) = delete;
    StreamMemory& operator=(const StreamMemory&) = delete;
    BYTE* Data() const { return m_pData; }
    void Unlock() {
        if (m_pData) GlobalUnlock(m_hMemory);
        m_pData = nullptr;
    }

private:
    HGLOBAL m_hMemory = nullptr;
    BYTE* m_pData = nullptr;
};

// Sizes the stream once for the whole page and writes its header at the start; false when the
// stream cannot hold the page.
bool StartPage(IStream* pStream, const BYTE* pHeader, DWORD nHeader, uint64_t nImageBytes) {
    ULARGE_INTEGER size;
    size.QuadPart = nHeader + nImageBytes;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULONG nWritten = 0;
    return SUCCEEDED(pStream->SetSize(size)) && SUCCEEDED(pStream->Seek(zero, STREAM_SEEK_SET, nullptr)) &&
           SUCCEEDED(pStream->Write(pHeader, nHeader, &nWritten)) && nWritten == nHeader;
}

// Writes bytes at the stream's position; false when the write fails or falls short.
bool WriteAt(IStream* pStream, const BYTE* pData, DWORD nBytes) {
    ULONG nWritten = 0;
    return SUCCEEDED(pStream->Write(pData, nBytes, &nWritten)) && nWritten == nBytes;
}

// The stream holds what was read of the page and no more, its position at the end.
void EndPageAt(IStream* pStream, uint64_t nBytes) {
    ULARGE_INTEGER size;
    size.QuadPart = nBytes;
    pStream->SetSize(size);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(nBytes);
    pStream->Seek(end, STREAM_SEEK_SET, nullptr);
}

}  // namespace

bool CheckDiskSpace(int nWidth, int nHeight, int nColorMode, LPCWSTR pszFolder) {
    const uint64_t nBits = nColorMode == SCAN_COLOR_LINEART ? 1 : nColorMode == SCAN_COLOR_GRAY ? 8 : 24;
    const uint64_t nWidthUnits = nWidth > 0 ? static_cast<uint64_t>(nWidth) : 0;
    const uint64_t nHeightUnits = nHeight > 0 ? static_cast<uint64_t>(nHeight) : 0;
    const uint64_t nNeeded = (nBits * nWidthUnits + 7) / 8 * nHeightUnits * 2 + SCAN_DISK_RESERVE;

    using PFN_GetDiskFreeSpaceExW = BOOL (*)(LPCWSTR, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*);
    HMODULE hKernel = GetModuleHandleW(u"kernel32.dll");
    auto pfnFreeSpaceEx = hKernel ? reinterpret_cast<PFN_GetDiskFreeSpaceExW>(reinterpret_cast<void (*)()>(
                                        GetProcAddress(hKernel, "GetDiskFreeSpaceExW")))
                                  : nullptr;
    if (pfnFreeSpaceEx) {
        ULARGE_INTEGER freeToCaller, totalBytes, totalFree;
        if (!pfnFreeSpaceEx(pszFolder, &freeToCaller, &totalBytes, &totalFree)) return true;
        return nNeeded <= totalFree.QuadPart;
    }
    DWORD dwSectorsPerCluster = 0, dwBytesPerSector = 0, dwFreeClusters = 0, dwClusters = 0;
    if (!GetDiskFreeSpaceW(pszFolder, &dwSectorsPerCluster, &dwBytesPerSector, &dwFreeClusters, &dwClusters))
        return true;
    // In 64 bits: a 32-bit product wraps above 4 GiB free.
    return nNeeded <= uint64_t{dwSectorsPerCluster} * dwBytesPerSector * dwFreeClusters;
}

bool StartScanThread(CScanUtility* pUtility, ScanJobRecord* pJob) {
    auto* pBlock = new (std::nothrow) ThreadBlock{pUtility, pJob};
    if (!pUtility || !pBlock) {
        OutputDebugStringW(u"Create Scan thread fail");
        delete pBlock;
        return false;
    }
    pUtility->m_bStop = false;
    pUtility->m_bThreadEnded = false;
    pUtility->m_hThread = CreateThread(nullptr, SCAN_THREAD_STACK, ScanThreadProc, pBlock, 0, &pUtility->m_dwThreadId);
    if (!pUtility->m_hThread) {
        OutputDebugStringW(u"Create Scan thread fail");
        delete pBlock;
        return false;
    }
    pUtility->m_bRunning = 1;
    return true;
}

DWORD ScanThreadProc(LPVOID pArgument) {
    OutputDebugStringW(u"begin Scan thread");
    auto* pBlock = static_cast<ThreadBlock*>(pArgument);
    if (!pBlock || !pBlock->pUtility) {
        OutputDebugStringW(u"ScanThreadProc false");
        delete pBlock;
        return 0;
    }
    CScanUtility* pUtility = pBlock->pUtility;
    ScanJobRecord* pJob = pBlock->pJob;
    pUtility->Scan(pJob);
    if (pJob && pJob->pCallback) Send(pJob, TRANSFER_MSG_EXIT);
    delete pBlock;
    OutputDebugStringW(u"ScanThreadProc end");
    pUtility->m_bThreadEnded = true;  // nothing of the driver, the job or the receiver is used after this
    return 0;
}

void CScanUtility::WaitForThread() {
    if (!m_hThread) return;
    for (;;) {
        if (WaitForSingleObject(m_hThread, INFINITE) == WAIT_OBJECT_0 || m_bThreadEnded) return;
        DebugPrintf("Wait for scan thread fail:%d", static_cast<int>(GetLastError()));
        Sleep(SCAN_WAIT_RETRY_MS);
    }
}

void CScanUtility::StopThread() {
    if (!m_bRunning) return;
    m_bRunning = 0;
    m_bStop = true;
    WaitForThread();
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

CScanUtility::~CScanUtility() {
    OutputDebugStringW(u"~CScanUtility");
    StopThread();  // the driver goes only once the thread is out of it
    if (m_scanner.m_hVQM) {
        CloseScanner(&m_scanner);
        FreeLibrary(m_scanner.m_hVQM);
        m_scanner.m_hVQM = nullptr;
    }
}

int CScanUtility::Scan(ScanJobRecord* pJob) {
    OutputDebugStringW(u"Start Scan thread scan");
    if (!pJob || !pJob->pCallback) {  // nobody to report to either
        OutputDebugStringW(u"CScanUtility::Scan false1");
        return SCAN_ERROR_NO_JOB;
    }
    int nStatus = OpenScanner(pJob->szDevicePath, &m_scanner, pJob->nOpenRequest != 0);
    if (nStatus != 0) {
        OutputDebugStringW(u"Scanner open fail");
        SendError(pJob, nStatus);
        return nStatus;
    }
    if (!m_scanner.m_bOpen) {
        OutputDebugStringW(u"Scanner start scan fail");
        CloseScanner(&m_scanner);
        SendError(pJob, SCAN_ERROR_NO_DRIVER);
        return SCAN_ERROR_NO_DRIVER;
    }
    // The scan window and the driver's geometry. A refusal is shown as an open failure is: a button
    // press that ends in silence would pass for a scan that worked.
    nStatus = SetScanParameters(&pJob->params, &m_scanner);
    if (nStatus != 0) {
        DebugPrintf("SetScanParameterEx fail:%d", nStatus);
        SendError(pJob, nStatus);
        return nStatus;
    }
    // Room for the pages and a folder for them, then the pages. The page loop keeps its chunk here, on
    // the thread's own stack.
    int nCode;
    const BOOL bFolder = FolderExists(pJob->szSaveFolder);
    if (!CheckDiskSpace(pJob->params.nWidth, pJob->params.nHeight, pJob->params.nColorMode, pJob->szSaveFolder)) {
        nCode = SCAN_ERROR_DISK_FULL;
    } else if (!bFolder) {
        nCode = SCAN_ERROR_NO_FOLDER;
    } else {
        BYTE chunk[SCAN_CHUNK_HIGH];
        nCode = RunPages(pJob, chunk);
    }
    // The end of the job, however it came.
    DebugPrintf("nRet:%d", nCode);
    if (nCode != 0) AbortScanner(&m_scanner);
    if (m_scanner.m_bOpen) CloseScanner(&m_scanner);
    if (nCode != 0) {
        OutputDebugStringW(u"first popup error message, then abort scan task");
        SendError(pJob, nCode);
    }
    const int nReply = Send(pJob, TRANSFER_MSG_END_OF_TRANSFER);
    if (nReply != 0) {
        OutputDebugStringW(u"TRANSFER_MSG_END_OF_TRANSFER fail");
        SendError(pJob, nReply);
    }
    return nReply;
}

// The page loop: the code that ends the job (0 when it ended normally).
int CScanUtility::RunPages(ScanJobRecord* pJob, BYTE* pChunk) {
    CTransferCallback* pCallback = pJob->pCallback;
    int nPages = 0;
    for (;;) {
        const DWORD nChunkSize = ChunkSize(pJob->params.nXResolution);
        int nReply = Send(pJob, TRANSFER_MSG_NEW_PAGE);
        if (nReply != 0) {
            OutputDebugStringW(u"New page error");
            return nReply;
        }
        if (m_bStop) {
            OutputDebugStringW(u"Scan thread is terminated");
            return SCAN_CANCELLED;
        }
        if (!FolderExists(pJob->szSaveFolder)) return SCAN_ERROR_NO_FOLDER;
        if (!CheckDiskSpace(pJob->params.nWidth, pJob->params.nHeight, pJob->params.nColorMode, pJob->szSaveFolder))
            return SCAN_ERROR_DISK_FULL;
        PageStream stream;
        int nStatus = pCallback->NewStream(0, stream.Out());
        if (nStatus != 0 || !stream.Get()) {
            OutputDebugStringW(u"new stream fail");
            return nStatus != 0 ? nStatus : SCAN_ERROR_NO_MEMORY;
        }
        // The header first, in a stream sized once for the whole page: a stream that cannot hold the
        // page ends the job, as a page whose header promises rows the stream does not hold must not
        // be reported as complete.
        BYTE header[BITMAP_HEADER_MAX];
        DWORD nHeaderLength = 0;
        const uint64_t nImageBytes = uint64_t{m_scanner.m_page.nStride} * m_scanner.m_page.nTotalLines;
        if (!BuildBitmapHeader(&m_scanner, header, &nHeaderLength) ||
            !StartPage(stream.Get(), header, nHeaderLength, nImageBytes)) {
            OutputDebugStringW(u"stream write fail");
            return SCAN_ERROR_NO_MEMORY;
        }
        // The rows are read where they stay, in the stream's own memory, when it has some.
        StreamMemory memory(stream.Get());
        int nBytesSoFar = 0;
        m_scanner.m_page.nLinesRead = 0;
        DWORD nBytes = 0, nPercent = 0;
        int nRead;
        auto target = [&] { return memory.Data() ? memory.Data() + nHeaderLength + nBytesSoFar : pChunk; };
        // A page left before its end keeps only the rows read.
        auto leave = [&](int nCode) {
            memory.Unlock();
            EndPageAt(stream.Get(), uint64_t{nHeaderLength} + static_cast<uint64_t>(nBytesSoFar));
            return nCode;
        };
        while ((nRead = ReadScanLines(&m_scanner, target(), nChunkSize, &nBytes, &nPercent)) == 0) {
            if (m_bStop) {
                OutputDebugStringW(u"Scan thread is terminate2");
                return leave(SCAN_CANCELLED);
            }
            if (!memory.Data() && !WriteAt(stream.Get(), pChunk, nBytes)) {
                OutputDebugStringW(u"stream write fail");
                return leave(SCAN_ERROR_NO_MEMORY);
            }
            nBytesSoFar += static_cast<int>(nBytes);
            nReply = Send(pJob, TRANSFER_MSG_PROGRESS, static_cast<int>(nPercent), nBytesSoFar);
            if (nReply == SCAN_CANCELLED) {
                OutputDebugStringW(u"Scan thread is cancel");
                return leave(SCAN_CANCELLED);
            }
            if (nReply != 0) {
                OutputDebugStringW(u"Scan thread fail3");
                return leave(nReply);
            }
        }
        leave(0);
        if (nRead != SCAN_END_OF_PAGE) {
            DebugPrintf("Scan thread fail: %d", nRead);
            return nRead;
        }
        DebugPrintf("page scanned %d", ++nPages);
        nReply = Send(pJob, TRANSFER_MSG_END_OF_STREAM);
        stream.Reset();
        if (nReply != 0) {
            OutputDebugStringW(u"TRANSFER_MSG_END_OF_STREAM fail");
            return nReply;
        }
        BOOL bMore = FALSE;
        const int nCode = NextPage(pJob, &bMore);
        if (!bMore) return nCode;
        // The driver goes on with the next page of the same scan: no new window, no new start.
    }
}

// Whether another page follows (*pbMore), else the code that ends the job.
int CScanUtility::NextPage(ScanJobRecord* pJob, BOOL* pbMore) {
    CTransferCallback* pCallback = pJob->pCallback;
    *pbMore = FALSE;
    if (!g_bIsPlatformC) {
        if (!pCallback->HasProgressDialog() || pCallback->IsCancelled()) {
            AbortScanner(&m_scanner);
            return 0;
        }
        if (m_scanner.m_pfnGetNextPushStatus(m_scanner.m_hDevice) == SCANDRV_NEXT_PAGE_READY) {
            OutputDebugStringW(u"next page.");
            *pbMore = TRUE;
            return 0;
        }
        OutputDebugStringW(u"no page.");
        return 0;
    }
    if (!pJob->bMultiPage) return 0;
    for (;;) {
        if (!pCallback->HasProgressDialog() || pCallback->IsCancelled()) {
            AbortScanner(&m_scanner);
            return 0;
        }
        const int nStatus = m_scanner.m_pfnGetNextPushStatus(m_scanner.m_hDevice);
        if (nStatus == SCAN_DRIVER_BUSY) {
            Sleep(SCAN_BUSY_POLL_MS);
            continue;
        }
        if (nStatus == SCANDRV_NEXT_PAGE_READY) *pbMore = TRUE;
        return nStatus;
    }
}
