// The scan thread: one scan job through the scanner driver binding, each page a complete Windows
// bitmap in a stream of the receiver's, and every step reported to the receiver as a transfer message.
#pragma once

#include <atomic>

#include "ScanJob.h"
#include "Scanner.h"
#include "win/base.h"
#include "win/com.h"

// The scan-button program's error codes, beside the scanner driver's own statuses.
#define SCAN_ERROR_NO_MEMORY (-40)      // out of memory, or no stream could be made
#define SCAN_ERROR_NO_JOB (-41)         // no job, or an invalid argument
#define SCAN_ERROR_NO_FOLDER (-51)      // the save folder does not exist
#define SCAN_ERROR_DISK_FULL (-54)      // not enough free disk space
#define SCAN_ERROR_CANNOT_CREATE (-55)  // the output file cannot be created
#define SCAN_DRIVER_BUSY 13             // the driver's next-page answer: ask again
#define SCAN_CANCELLED 202              // cancelled by the user

enum TransferMessageType : int {
    TRANSFER_MSG_PROGRESS = 0,         // after each chunk (percent, bytes so far), or an error (code)
    TRANSFER_MSG_END_OF_STREAM = 1,    // a page is complete in its stream
    TRANSFER_MSG_END_OF_TRANSFER = 2,  // the job is over
    TRANSFER_MSG_EXIT = 3,             // the scan thread ends
    TRANSFER_MSG_NEW_PAGE = 5,         // a page begins
};

struct TransferMessage {
    int nType;
    int nPercent;
    int nBytes;  // bytes of image data written to the page stream so far
    int nError;
};

// The receiver of a job's messages. Every call comes on the scan thread.
class CTransferCallback {
public:
    virtual ~CTransferCallback() = default;
    // A fresh stream for the next page (0 = success). The reserved argument is always 0. The stream
    // comes with a reference for the scan thread, which releases it once the page is done; the
    // receiver keeps its own.
    virtual int NewStream(int nReserved, IStream** ppStream) = 0;
    // The reply: 0 go on, SCAN_CANCELLED the user cancelled, anything else a failure with that code.
    virtual int TransferCallback(int nReserved, TransferMessage* pMessage) = 0;
    // What the scan thread asks between pages: whether a progress dialog shows the job, and whether
    // the user cancelled in it (a flag another thread sets).
    virtual BOOL HasProgressDialog() = 0;
    virtual BOOL IsCancelled() = 0;
};

// Chunk sizes by x resolution: 75 and 150 dpi, 300 dpi, any other.
#define SCAN_CHUNK_LOW 0x20000
#define SCAN_CHUNK_MEDIUM 0x40000
#define SCAN_CHUNK_HIGH 0x100000
// The scan thread's stack: the page loop keeps the largest chunk in its own frame.
#define SCAN_THREAD_STACK 0x200000
// Free space kept beyond twice the raw page (300 MiB).
#define SCAN_DISK_RESERVE 0x12C00000u
// The pause between the second driver kind's busy answers.
#define SCAN_BUSY_POLL_MS 500
// The pause before a wait for the scan thread that failed is tried again.
#define SCAN_WAIT_RETRY_MS 100

class CScanUtility {
public:
    CScanUtility() = default;
    ~CScanUtility();
    CScanUtility(const CScanUtility&) = delete;
    CScanUtility& operator=(const CScanUtility&) = delete;

    // The result of the job: the reply to the last message, or an error code.
    int Scan(ScanJobRecord* pJob);
    // Returns once the scan thread has ended. A failed wait is no end: the thread may still be inside
    // the driver or the receiver, so the wait is tried again until the thread has said it is done.
    void WaitForThread();
    // Asks a running job to stop, waits for its thread and lets the handle go (the destructors').
    void StopThread();

    HANDLE m_hThread = nullptr;
    CScanner m_scanner;
    DWORD m_dwThreadId = 0;
    std::atomic<bool> m_bStop{false};  // set by the destructor, polled by the scan thread
    BYTE m_bRunning = 0;
    // Set by the scan thread as its very last step, after its last call into the driver or the
    // receiver: the end that a failed wait cannot tell.
    std::atomic<bool> m_bThreadEnded{false};

private:
    int RunPages(ScanJobRecord* pJob, BYTE* pChunk);
    int NextPage(ScanJobRecord* pJob, BOOL* pbMore);
};

// Starts the job on its own thread (SCAN_THREAD_STACK bytes of stack).
bool StartScanThread(CScanUtility* pUtility, ScanJobRecord* pJob);
// The thread procedure; its argument is a block {utility, job} that it frees.
DWORD ScanThreadProc(LPVOID pBlock);
// Whether the save folder's drive has room for a page of this window and colour mode (lengths in
// 1/1200 inch), twice over, and SCAN_DISK_RESERVE more. A failed query counts as room enough.
bool CheckDiskSpace(int nWidth, int nHeight, int nColorMode, LPCWSTR pszFolder);
