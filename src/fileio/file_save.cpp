// Saving a whole file so that what the name held is never lost: the data is
// written and flushed in a new file beside the target, under a name of its
// own, and only then moved over the target in one step. A save that fails
// leaves the target as it was, and nothing beside it.
#include "fileio/file_access.h"

#include <cstring>

namespace {

// The new file beside the target: "~hb", four hex digits, ".tmp", so that one
// left by a power cut is recognisable for what it is.
const char SIDE_NAME_START[] = "~hb";
const char SIDE_NAME_END[] = ".tmp";
const size_t CCH_SIDE_NAME = 11;
static_assert(CCH_SIDE_NAME == sizeof(SIDE_NAME_START) - 1 + 4 + sizeof(SIDE_NAME_END) - 1, "~hb, 4 digits, .tmp");
const DWORD C_SIDE_NAMES = 0x10000;

// A virus scanner or an indexer may hold the new file for a moment after it
// is closed: the move is tried again for about half a second.
const int C_MOVE_RETRIES = 5;
const DWORD MOVE_RETRY_MS = 100;

// CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a read-only, hidden or
// system file on Windows; Wine, run as root, does not, and a move would
// replace it anyway. These are refused by their attributes.
const DWORD REFUSED_ATTRIBUTES =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

BOOL IsRefusedTarget(LPCSTR szTarget)
{
    const DWORD dwAttributes = GetFileAttributesA(szTarget);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & REFUSED_ATTRIBUTES) != 0;
}

// The file the save replaces, in szTarget (CCH_FILE_NAME bytes): where the
// chosen name leads if it is a link, so that the link survives; the name
// itself if nothing is there yet. FALSE when the real name is too long for
// a path.
BOOL FindTarget(LPCSTR szPath, char* szTarget)
{
    const size_t cchPath = strlen(szPath);
    HANDLE hFile = CreateFileA(szPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        if (CwchOfAnsi(szPath, cchPath) >= MAX_PATH) {
            return FALSE;
        }
        memcpy(szTarget, szPath, cchPath + 1);
        return TRUE;
    }

    // "\\?\C:\dir\name", or "\\?\UNC\server\share\dir\name" for a network
    // name: the ANSI calls take the plain forms.
    const char LONG_PREFIX[] = "\\\\?\\";
    const char UNC_PREFIX[] = "\\\\?\\UNC\\";
    char szFinal[CCH_FILE_NAME + sizeof(UNC_PREFIX)];
    const DWORD cchFinal =
        GetFinalPathNameByHandleA(hFile, szFinal, sizeof(szFinal), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(hFile);
    if (cchFinal == 0 || cchFinal >= sizeof(szFinal)) {
        return FALSE;
    }
    const char* szPlain = szFinal;
    if (strncmp(szFinal, UNC_PREFIX, sizeof(UNC_PREFIX) - 1) == 0) {
        // "\\?\UN" is dropped and the C becomes the second backslash before the server.
        szPlain = szFinal + sizeof(UNC_PREFIX) - 3;
        szFinal[sizeof(UNC_PREFIX) - 3] = '\\';
    } else if (strncmp(szFinal, LONG_PREFIX, sizeof(LONG_PREFIX) - 1) == 0) {
        szPlain = szFinal + sizeof(LONG_PREFIX) - 1;
    }
    const size_t cchPlain = strlen(szPlain);
    if (CwchOfAnsi(szPlain, cchPlain) >= MAX_PATH) {
        return FALSE;
    }
    memcpy(szTarget, szPlain, cchPlain + 1);
    return TRUE;
}

// Creates a new file beside the target, exclusively and with the right to
// delete it through its handle; its name goes into szSide (CCH_FILE_NAME
// bytes). On failure *pfInPlace says whether the target may be written
// in place instead: when the new name would not fit a path, or the folder
// refuses a new file for lack of rights, so that saves which worked in place
// keep working.
HANDLE CreateSideFile(LPCSTR szTarget, char* szSide, BOOL* pfInPlace)
{
    *pfInPlace = FALSE;
    size_t cchFolder = 0;
    for (size_t i = 0; szTarget[i] != '\0'; ++i) {
        if (szTarget[i] == '\\' || szTarget[i] == '/' || szTarget[i] == ':') {
            cchFolder = i + 1;
        }
    }
    if (CwchOfAnsi(szTarget, cchFolder) + CCH_SIDE_NAME >= MAX_PATH) {
        *pfInPlace = TRUE;
        return INVALID_HANDLE_VALUE;
    }

    static const char HEX_DIGITS[] = "0123456789ABCDEF";
    memcpy(szSide, szTarget, cchFolder);
    char* pchName = szSide + cchFolder;
    memcpy(pchName, SIDE_NAME_START, sizeof(SIDE_NAME_START) - 1);
    memcpy(pchName + CCH_SIDE_NAME - (sizeof(SIDE_NAME_END) - 1), SIDE_NAME_END, sizeof(SIDE_NAME_END));
    char* pchDigits = pchName + sizeof(SIDE_NAME_START) - 1;
    for (DWORD nName = 0; nName < C_SIDE_NAMES; ++nName) {
        for (int iDigit = 0; iDigit < 4; ++iDigit) {
            pchDigits[iDigit] = HEX_DIGITS[(nName >> (12 - 4 * iDigit)) & 0xF];
        }
        HANDLE hSide = CreateFileA(szSide, GENERIC_WRITE | DELETE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hSide != INVALID_HANDLE_VALUE) {
            return hSide;
        }
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_EXISTS) {
            *pfInPlace = dwError == ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// One write of the whole block, then a flush: the data must be on the disk
// before the file counts as saved. A full disk takes less than asked, and
// may say so only by the count.
BOOL WriteAndFlush(HANDLE hFile, const BYTE* pData, DWORD cbData)
{
    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(hFile, pData, cbData, &cbWritten, NULL) && cbWritten == cbData;
    return fWritten && FlushFileBuffers(hFile);
}

// A file made here that does not hold the data goes, through its own handle:
// by the time it is closed its name may lead to another file.
void DiscardFile(HANDLE hFile)
{
    FILE_DISPOSITION_INFO info = {TRUE};
    SetFileInformationByHandle(hFile, FileDispositionInfo, &info, sizeof(info));
    CloseHandle(hFile);
}

// Where the new file cannot be made beside the target: the target is
// created or emptied and written; if that fails, what was written goes.
DWORD SaveInPlace(LPCSTR szPath, const BYTE* pData, DWORD cbData)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_WRITE | DELETE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return 0;
    }
    if (!WriteAndFlush(hFile, pData, cbData)) {
        DiscardFile(hFile);
        return 0;
    }
    CloseHandle(hFile);
    return cbData;
}

// Replaces the target with the new file in one step; a target that does not
// exist is simply made by it. (ReplaceFileA is no use here: under Wine it
// fails on a new target, leaves a file of its own behind after a refusal,
// and follows a link to delete the file it points to.)
BOOL MoveIntoPlace(LPCSTR szSide, LPCSTR szTarget)
{
    for (int iTry = 0;; ++iTry) {
        if (MoveFileExA(szSide, szTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return TRUE;
        }
        const DWORD dwError = GetLastError();
        if (iTry == C_MOVE_RETRIES || (dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_ACCESS_DENIED)) {
            return FALSE;
        }
        Sleep(MOVE_RETRY_MS);
    }
}

}  // namespace

DWORD SaveFileBytes(LPCSTR szPath, const BYTE* pData, DWORD cbData)
{
    char szTarget[CCH_FILE_NAME];
    if (!FindTarget(szPath, szTarget)) {
        // The real name is too long for a path, and so is any name beside it.
        return IsRefusedTarget(szPath) ? 0 : SaveInPlace(szPath, pData, cbData);
    }
    if (IsRefusedTarget(szTarget)) {
        return 0;
    }

    char szSide[CCH_FILE_NAME];
    BOOL fInPlace = FALSE;
    HANDLE hSide = CreateSideFile(szTarget, szSide, &fInPlace);
    if (hSide == INVALID_HANDLE_VALUE) {
        return fInPlace ? SaveInPlace(szTarget, pData, cbData) : 0;
    }
    if (!WriteAndFlush(hSide, pData, cbData)) {
        DiscardFile(hSide);
        return 0;
    }
    CloseHandle(hSide);
    if (!MoveIntoPlace(szSide, szTarget)) {
        // Nobody else opens a file of this name: it was made here, exclusively.
        DeleteFileA(szSide);
        return 0;
    }
    return cbData;
}
