// The shell as the programs use it: the known folders of the machine's current user, item lists of
// file-system paths, the folder browser, opening files and folders, the help viewer and path helpers.
#pragma once

#include "win/base.h"
#include "win/com.h"
#include "win/user.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PERSONAL 0x0005
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_TEMPLATES 0x0015
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_MYPICTURES 0x0027
#define CSIDL_PROFILE 0x0028
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_FLAG_CREATE 0x8000
#define SHGFP_TYPE_CURRENT 0

// The folder's path (up to MAX_PATH characters, no closing backslash). Unknown folders give E_INVALIDARG;
// with CSIDL_FLAG_CREATE a missing folder is made. Fault switch "SHGetFolderPath" (with the CSIDL
// number as its detail) fails a lookup with E_FAIL.
WINBASEAPI HRESULT WINAPI SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path);
WINBASEAPI HRESULT WINAPI SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, LPSTR path);
WINBASEAPI BOOL WINAPI SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);

// ---- Item lists ----------------------------------------------------------------------------------
// An item list names one file-system object; the layer's lists hold its absolute Windows path in one
// item (no shell namespace, no virtual folders). Lists come from CoTaskMemAlloc: free them with
// CoTaskMemFree.
struct SHITEMID {
    USHORT cb;  // bytes of this item, cb included
    BYTE abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;
typedef ULONG SFGAOF;
struct IBindCtx;

// The item list of an existing file or folder (a relative path against the current directory);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for anything else. Binding contexts and attribute queries
// are not modelled (*attributesOut is 0).
WINBASEAPI HRESULT WINAPI SHParseDisplayName(LPCWSTR name, IBindCtx* bindContext, PIDLIST_ABSOLUTE* list,
                                             SFGAOF attributesIn, SFGAOF* attributesOut);
// The path an item list names (MAX_PATH characters); FALSE and an empty path for a list that is not one
// of the layer's.
WINBASEAPI BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);
// Frees an item list (CoTaskMemFree; NULL does nothing).
WINBASEAPI void WINAPI ILFree(LPITEMIDLIST list);

// ---- The desktop folder ------------------------------------------------------------------------------
typedef ITEMIDLIST* PIDLIST_RELATIVE;
typedef const ITEMIDLIST* PCUITEMID_CHILD;
typedef const PCUITEMID_CHILD* PCUITEMID_CHILD_ARRAY;

WINBASEAPI const IID IID_IShellFolder;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A shell folder; the layer has only the desktop's, and of its operations only ParseDisplayName (the
// first after IUnknown's; the later ones of the interface are left out).
struct IShellFolder : IUnknown {
    // An absolute path of an existing file or folder (a relative one: below the user's Desktop folder)
    // as an item list of task memory, S_OK; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a path that
    // does not exist (also when a folder on its way is missing), E_INVALIDARG for no or an empty name
    // (*list is NULL then). `eaten` gets the characters taken (all); attributes are not modelled
    // (*attributes comes back 0); the window and the binding context are not used.
    virtual HRESULT ParseDisplayName(HWND owner, IBindCtx* bindContext, LPWSTR displayName, ULONG* eaten,
                                     PIDLIST_RELATIVE* list, ULONG* attributes) = 0;
};
#pragma GCC diagnostic pop
typedef IShellFolder* LPSHELLFOLDER;

// The desktop folder (one object for the process; Release it when done).
WINBASEAPI HRESULT WINAPI SHGetDesktopFolder(IShellFolder** folder);

#define OFASI_EDIT 0x0001
#define OFASI_OPENDESKTOP 0x0002
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
// Shows a folder with items selected: nothing is shown on the host; the machine journals the folder and
// each item (platform::shellActions, call "SHOpenFolderAndSelectItems"). The items are the layer's
// (absolute) lists; an empty one (NULL, or a list of no items) selects nothing and is journalled as "".
// With no items the folder list names one object: its parent folder is shown with it selected, as on
// Windows. Needs COM on the calling thread (CO_E_NOTINITIALIZED); E_INVALIDARG for no folder, a
// folder or item that is not one of the layer's lists, a folder list naming a file, or items missing
// with a count; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a folder that is gone. The flags
// (OFASI_*) are journalled as the show field, not obeyed.
WINBASEAPI HRESULT WINAPI SHOpenFolderAndSelectItems(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items,
                                                     DWORD flags);

// ---- The folder browser ----------------------------------------------------------------------------
#define BIF_RETURNONLYFSDIRS 0x0001
#define BIF_DONTGOBELOWDOMAIN 0x0002
#define BIF_STATUSTEXT 0x0004
#define BIF_EDITBOX 0x0010
#define BIF_VALIDATE 0x0020
#define BIF_NEWDIALOGSTYLE 0x0040
#define BIF_BROWSEFORCOMPUTER 0x1000
// Messages to the browser's callback and from it to the browser window.
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_ENABLEOK (WM_USER + 101)
#define BFFM_SETSELECTIONW (WM_USER + 103)
#define BFFM_SETSTATUSTEXTW (WM_USER + 104)

typedef int(CALLBACK* BFFCALLBACK)(HWND window, UINT message, LPARAM lParam, LPARAM data);
struct BROWSEINFOW {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPWSTR pszDisplayName;  // MAX_PATH characters: the chosen folder's name
    LPCWSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
};
typedef BROWSEINFOW* LPBROWSEINFOW;

// The folder browser, answered by the machine instead of a person: its hidden window on the calling
// thread gets BFFM_INITIALIZED and BFFM_SELCHANGED through the callback, which may select a folder
// (BFFM_SETSELECTIONW with a path or an item list); then the next answer a test or a person's script
// queued (platform::queueFolderBrowserAnswer) is taken: a folder chosen (an existing one: its item list,
// after BFFM_SELCHANGED for it) or cancelled (NULL). No queued answer cancels. Every browse is
// journalled (platform::folderBrowses). The root, the title and the flags are recorded, not obeyed.
WINBASEAPI PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info);

// ---- Opening files and folders -------------------------------------------------------------------
#define SEE_MASK_DEFAULT 0x00000000
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3

struct SHELLEXECUTEINFOW {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
};
typedef SHELLEXECUTEINFOW* LPSHELLEXECUTEINFOW;

// Opening a file or folder with a verb: nothing is run on the host; the machine journals what was
// asked (platform::shellActions). A file or folder that does not exist gives SE_ERR_FNF (ERROR_FILE_NOT_FOUND),
// a missing folder on its way SE_ERR_PNF; otherwise the answer is 33 (success). No process is made:
// ShellExecuteExW leaves hProcess NULL even with SEE_MASK_NOCLOSEPROCESS.
WINBASEAPI HINSTANCE WINAPI ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                          LPCWSTR directory, INT show);
WINBASEAPI BOOL WINAPI ShellExecuteExW(LPSHELLEXECUTEINFOW info);

// ---- The help viewer -------------------------------------------------------------------------------
#define HH_DISPLAY_TOPIC 0x0000
#define HH_HELP_CONTEXT 0x000F
#define HH_CLOSE_ALL 0x0012

// The help viewer: no viewer is modelled. Every call is journalled with its file and command
// (platform::shellActions, call "HtmlHelpW") and answers NULL (no viewer window).
WINBASEAPI HWND WINAPI HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);

// ---- Path helpers --------------------------------------------------------------------------------
// Adds a backslash unless the path ends in one; the address of the terminating NUL, or NULL (path
// unchanged) when it would not fit in MAX_PATH characters.
WINBASEAPI LPWSTR WINAPI PathAddBackslashW(LPWSTR path);
// Appends `more` to the path (a buffer of MAX_PATH characters) with one backslash between them (a
// leading backslash of `more` counts as it); FALSE with the path unchanged when the result would not
// fit in MAX_PATH characters with its NUL or either argument is NULL.
WINBASEAPI BOOL WINAPI PathAppendW(LPWSTR path, LPCWSTR more);
// Whether a file or folder exists at the path.
WINBASEAPI BOOL WINAPI PathFileExistsW(LPCWSTR path);
// Whether the path is a folder with no entry of its own (FALSE for a file or a missing path).
WINBASEAPI BOOL WINAPI PathIsDirectoryEmptyW(LPCWSTR path);
// Compares at most `count` characters without regard to case (the layer's upper-case folding, not a
// linguistic order): below, equal to or above zero. NULL sorts before any string.
WINBASEAPI int WINAPI StrCmpNIW(LPCWSTR first, LPCWSTR second, int count);

// ---- The command line ----------------------------------------------------------------------------
// Splits a command line as Windows programs expect: the program name is the text up to the first
// blank, or in quotes up to the next quote, its backslashes as they stand (a line that starts with a
// blank has an empty program name); then arguments separated by spaces and tabs, where quotes group
// blanks into an argument, 2n backslashes before a quote give n and the quote groups, 2n + 1 give n
// and a quote, other backslashes stand, and a doubled quote inside quotes is one quote. An empty line
// gives the program's path alone. One LocalAlloc block (pointers, then the strings; free it with
// LocalFree). NULL with ERROR_INVALID_PARAMETER without `numArgs`; fault switch "LocalAlloc".
WINBASEAPI LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* numArgs);
