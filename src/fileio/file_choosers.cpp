#include "fileio/file_access.h"

#include <commdlg.h>

#include <cstddef>

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

    const BOOL fChosen = fSave ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (!fChosen) {
        szName[0] = '\0';  // a failing dialog may have written into the buffer
    }
    return szName;
}

}  // namespace

LPCSTR PickInputFile(HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle, LPCSTR szFilter)
{
    return PickFile(FALSE, szOpenName, hwndOwner, hInstance, szTitle, szFilter);
}

LPCSTR PickOutputFile(HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle, LPCSTR szFilter)
{
    return PickFile(TRUE, szSaveName, hwndOwner, hInstance, szTitle, szFilter);
}
