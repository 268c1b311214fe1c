#include "fileio/file_access.h"

#include <commdlg.h>
#include <dlgs.h>

#include <cstddef>
#include <cstring>

const char FILE_FILTER[] = "All Files\0*.*\0";  // the literal adds the final zero

char szOpenName[CCH_FILE_NAME];
char szSaveName[CCH_FILE_NAME];

namespace {

// The record as it was before the trailing fields were added: 76 bytes on
// 32-bit Windows, and the matching size on 64-bit Windows.
constexpr DWORD CB_OPENFILENAME = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
#if defined(_M_IX86) || defined(__i386__)
static_assert(CB_OPENFILENAME == 76, "32-bit OPENFILENAMEA without its trailing fields");
#endif

// Wine's chooser builds the full path of the name typed in a buffer of
// MAX_PATH characters of its own, unchecked: a longer path (typed or pasted)
// overruns it, and the chooser hangs or takes the program down. Under Wine the
// chooser is therefore watched, and a name whose full path cannot fit is
// refused before the chooser reads it. Windows refuses such names itself.
WNDPROC pfnChooserProc;  // the watched chooser's own window procedure

BOOL IsWine()
{
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    return hNtdll != NULL && GetProcAddress(hNtdll, "wine_get_version") != NULL;
}

// The path the name in the chooser's name box stands for fits in MAX_PATH
// characters with its terminator: whole, or after the chooser's folder.
BOOL NameFits(HWND hChooser)
{
    // A chooser with a hook has a plain name box; without one, a combo box.
    HWND hName = GetDlgItem(hChooser, edt1);
    if (hName == NULL) {
        hName = GetDlgItem(hChooser, cmb13);
    }
    char szTyped[CCH_FILE_NAME] = "";
    if (hName != NULL && GetWindowTextLengthA(hName) >= CCH_FILE_NAME) {
        return FALSE;
    }
    if (hName != NULL) {
        GetWindowTextA(hName, szTyped, CCH_FILE_NAME);
    }
    const int cwchName = CwchOfAnsi(szTyped, strlen(szTyped));
    const BOOL fWhole = szTyped[0] == '\\' || (szTyped[0] != '\0' && szTyped[1] == ':');
    if (fWhole) {
        return cwchName < MAX_PATH;
    }
    char szFolder[CCH_FILE_NAME] = "";
    if (SendMessageA(hChooser, CDM_GETFOLDERPATH, CCH_FILE_NAME, reinterpret_cast<LPARAM>(szFolder)) < 0) {
        return FALSE;
    }
    // The folder, a backslash, the name and the terminator.
    return CwchOfAnsi(szFolder, strlen(szFolder)) + 1 + cwchName < MAX_PATH;
}

LRESULT CALLBACK WatchChooserProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC pfnOwn = pfnChooserProc;
    if (uMsg == WM_COMMAND && LOWORD(wParam) == IDOK && !NameFits(hwnd)) {
        MessageBoxA(hwnd, "This name is too long: a path holds at most 259 characters.", NULL, MB_OK);
        return 0;
    }
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnOwn));
    }
    return CallWindowProcA(pfnOwn, hwnd, uMsg, wParam, lParam);
}

// The chooser's hook: once the chooser is ready, its window is watched.
UINT_PTR CALLBACK ChooserHookProc(HWND hdlg, UINT uMsg, WPARAM /*wParam*/, LPARAM lParam)
{
    if (uMsg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE) {
        pfnChooserProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(GetParent(hdlg), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchChooserProc)));
    }
    return 0;
}

LPCSTR PickFile(BOOL fSave, char* szName, HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle,
                LPCSTR szFilter)
{
    // An empty buffer: no earlier name shows, and a cancel leaves it empty.
    szName[0] = '\0';

    OPENFILENAMEA ofn = {};
    ofn.lStructSize = CB_OPENFILENAME;
    ofn.hwndOwner = hwndOwner;
    ofn.hInstance = hInstance;
    ofn.lpstrFilter = szFilter;
    ofn.lpstrFile = szName;
    ofn.nMaxFile = CCH_FILE_NAME;
    ofn.lpstrTitle = szTitle;
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_LONGNAMES |
                (fSave ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (IsWine()) {
        ofn.Flags |= OFN_ENABLEHOOK;
        ofn.lpfnHook = ChooserHookProc;
    }

    const BOOL fChosen = fSave ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!fChosen) {
        szName[0] = '\0';  // a failing dialog may have written into the buffer
    }
    return szName;
}

}  // namespace

int CwchOfAnsi(LPCSTR sz, size_t cb)
{
    return cb == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, sz, static_cast<int>(cb), NULL, 0);
}

LPCSTR PickInputFile(HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle, LPCSTR szFilter)
{
    return PickFile(FALSE, szOpenName, hwndOwner, hInstance, szTitle, szFilter);
}

LPCSTR PickOutputFile(HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle, LPCSTR szFilter)
{
    return PickFile(TRUE, szSaveName, hwndOwner, hInstance, szTitle, szFilter);
}
