#include "fileio/file_access.h"

BOOL LoadFileBytes(LPCSTR szPath, BYTE** ppData, DWORD* pcbData)
{
    // Others may read the file meanwhile, but not write it.
    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return FALSE;
    }

    // The size and the zero byte after it must fit in 32 bits. A file of
    // 4 GiB or more is refused outright rather than loaded by its low bits.
    DWORD dwSizeHigh = 0;
    const DWORD cbFile = GetFileSize(hFile, &dwSizeHigh);
    if (dwSizeHigh != 0 || cbFile == INVALID_FILE_SIZE) {
        CloseHandle(hFile);
        return FALSE;
    }

    BYTE* pBlock = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(cbFile) + 1));
    if (pBlock == NULL) {
        CloseHandle(hFile);
        return FALSE;
    }

    // One read of the whole file; a short read is not an error, a failed one is.
    DWORD cbRead = 0;
    const BOOL fRead = ReadFile(hFile, pBlock, cbFile, &cbRead, NULL);
    CloseHandle(hFile);
    if (!fRead) {
        GlobalFree(pBlock);
        return FALSE;
    }

    *ppData = pBlock;
    *pcbData = cbRead;
    return TRUE;
}
