// After a scan that saved files: mail them, or open the last one and show the folder with them selected.
#include <vector>

#include "ProductConfig.h"
#include "TesmarDlg.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

const WCHAR kMailClientsKey[] = u"SOFTWARE\\Clients\\Mail";
const WCHAR kFoxmailCommandKey[] = u"SOFTWARE\\Clients\\Mail\\Foxmail\\shell\\open\\command";
// Bytes of the registry texts read: the default client's name and Foxmail's command line.
constexpr DWORD kClientNameBytes = 256;
constexpr DWORD kCommandBytes = 512;
// How long the Outlook family sees itself as the default client, and the pause before the other
// programs are started with the copied file.
constexpr DWORD kDefaultClientMilliseconds = 2000;
constexpr DWORD kCopySettleMilliseconds = 1000;

// The default value of a key as text; FALSE when the key or the value is missing.
BOOL ReadDefaultValue(HKEY root, LPCWSTR subKey, DWORD bytes, CString& value) {
    value.Empty();
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return FALSE;
    CString text;
    const DWORD units = bytes / sizeof(WCHAR);
    WCHAR* buffer = text.GetBuffer(static_cast<int>(units));
    DWORD size = bytes;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    buffer[units] = 0;  // the text ends within the bytes read, terminated or not
    text.ReleaseBuffer();
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return FALSE;
    value = text;
    return TRUE;
}

// Sets the default value of HKCU "SOFTWARE\Clients\Mail", or deletes it when `value` is NULL.
void WriteDefaultMailClient(LPCWSTR value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kMailClientsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR)));
    else
        RegDeleteValueW(key, nullptr);
    RegCloseKey(key);
}

// The program's folder: its module path up to the last backslash or slash (kept).
BOOL GetProgramFolder(CString& folder) {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    const CString module(path);
    const int cut = module.ReverseFind(u'\\') > module.ReverseFind(u'/') ? module.ReverseFind(u'\\') : module.ReverseFind(u'/');
    if (cut < 0) return FALSE;
    folder = module.Left(cut + 1);
    return TRUE;
}

// The file part of a path.
CString FileNameOf(const CString& path) {
    const int backslash = path.ReverseFind(u'\\'), slash = path.ReverseFind(u'/');
    return path.Mid((backslash > slash ? backslash : slash) + 1);
}

}  // namespace

CString CTesmarDlg::SavedFileList() const {
    CString list(u" ");
    for (INT_PTR i = 0; i < m_savedFiles.GetSize(); ++i) {
        list += u"\"";
        list += m_savedFiles[i];
        list += u"\" ";
    }
    return list;
}

void CTesmarDlg::DoAfterScan() {
    if (m_savedFiles.GetSize() == 0) return;
    // Mail takes precedence over both opens.
    if (m_settings.nSendMail) {
        OutputDebugStringA("CTesmarDlg::DoAfterScan: SentToEmail");
        SentToEmail();
        return;
    }
    // The file: the last one saved.
    const CString lastSaved = m_savedFiles[m_savedFiles.GetSize() - 1];
    if (m_settings.nOpenFile) ShellExecuteW(nullptr, u"open", lastSaved, nullptr, nullptr, SW_SHOW);
    // The folder, with the files that it holds selected.
    if (!m_settings.nOpenFolder) return;
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return;
    std::vector<PIDLIST_RELATIVE> items;
    for (INT_PTR i = 0; i < m_savedFiles.GetSize(); ++i) {
        PIDLIST_RELATIVE item = nullptr;
        CString path = m_savedFiles[i];
        if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, path.GetBuffer(), nullptr, &item, nullptr)) && item)
            items.push_back(item);
    }
    PIDLIST_RELATIVE folder = nullptr;
    CString folderPath(m_settings.szFolder);
    if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, folderPath.GetBuffer(), nullptr, &folder, nullptr)) &&
        folder) {
        CoInitialize(nullptr);
        SHOpenFolderAndSelectItems(reinterpret_cast<PCIDLIST_ABSOLUTE>(folder), static_cast<UINT>(items.size()),
                                   reinterpret_cast<PCUITEMID_CHILD_ARRAY>(items.data()), 0);
        ILFree(folder);
    }
    for (PIDLIST_RELATIVE item : items) ILFree(item);
    desktop->Release();
}

void CTesmarDlg::SentToEmail() {
    // The mail program: the settings', else Foxmail's command when it is the default client.
    CString mailPath(m_settings.szMailProgram);
    CString text;
    text.Format(u"SentToEmail: EmailPath: %s", mailPath.GetString());
    OutputDebugStringW(text);
    if (mailPath.IsEmpty()) {
        CString client;
        if (ReadDefaultValue(HKEY_CURRENT_USER, kMailClientsKey, kClientNameBytes, client) && client == u"Foxmail")
            ReadDefaultValue(HKEY_LOCAL_MACHINE, kFoxmailCommandKey, kCommandBytes, mailPath);
    }
    // The file mailed is the last one saved, under its own name.
    const CString lastSaved = m_savedFiles.GetSize() ? m_savedFiles[m_savedFiles.GetSize() - 1] : m_strOutputPath;
    const CString shortName = FileNameOf(lastSaved);
    CString folder;

    // Foxmail takes the quoted list of files.
    if (mailPath.Find(u"Foxmail.exe") >= 0) {
        if (!GetProgramFolder(folder)) return;
        const INT_PTR result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, u"open", mailPath, SavedFileList(), nullptr, SW_SHOW));
        if (result > 32) {
            OutputDebugStringA("SentToEmail: Foxmail: ShellExecute success");
        } else {
            text.Format(u"SentToEmail: Foxmail: Failed to ShellExecute and return: %d", static_cast<int>(result));
            OutputDebugStringW(text);
        }
        return;
    }

    // The Outlook family: the mail helper, with the client made the default for a while.
    if (mailPath.Find(u"Outlook Express") >= 0 || mailPath.Find(u"OUTLOOK.EXE") >= 0 ||
        mailPath.Find(u"Outlook.exe") >= 0 || mailPath.Find(u"outicon.exe") >= 0) {
        const CString list = SavedFileList();
        const WCHAR* clientName =
            mailPath.Find(u"Outlook Express") >= 0 ? u"Outlook Express" : u"Microsoft Outlook";
        CString former;
        const BOOL hadFormer = ReadDefaultValue(HKEY_CURRENT_USER, kMailClientsKey, kClientNameBytes, former);
        WriteDefaultMailClient(clientName);
        if (!UseMAPItoSendEmail(list)) OutputDebugStringA("SentToEmail: UseMAPItoSendEmail: Failed to call MAPI");
        Sleep(kDefaultClientMilliseconds);
        // Back as it was: the former text, or no value at all when there was none.
        WriteDefaultMailClient(hadFormer ? former.GetString() : nullptr);
        return;
    }

    // Any other program: a copy of the file beside the program, opened by its short name.
    WCHAR current[MAX_PATH] = {};
    const DWORD currentLength = GetCurrentDirectoryW(MAX_PATH, current);
    if (!GetProgramFolder(folder)) return;
    SetCurrentDirectoryW(folder);
    CopyFileW(lastSaved, shortName, FALSE);
    Sleep(kCopySettleMilliseconds);
    text.Format(u"SentToEmail: EmailPath: %s, ShellExecute strParam: %s", mailPath.GetString(), shortName.GetString());
    OutputDebugStringW(text);
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", mailPath, shortName, nullptr, SW_SHOW));
    if (result > 32) {
        OutputDebugStringA("SentToEmail: mail: ShellExecute success");
    } else {
        text.Format(u"SentToEmail: mail: Failed to ShellExecute and return: %d", static_cast<int>(result));
        OutputDebugStringW(text);
    }
    if (currentLength > 0 && currentLength < MAX_PATH) SetCurrentDirectoryW(current);
}

BOOL CTesmarDlg::UseMAPItoSendEmail(const CString& fileList) {
    CString folder;
    if (!GetProgramFolder(folder)) return FALSE;
    WCHAR prefix[MAX_PATH] = {};
    GetProductIniString(u"TWAIN", u"File Prefix", prefix);
    CString program;
    program.Format(u"%s%smail.exe", folder.GetString(), prefix);
    CString commandLine = fileList;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program, commandLine.GetBuffer(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return FALSE;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return TRUE;
}
