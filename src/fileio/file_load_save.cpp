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

DWORD SaveFileBytes(LPCSTR szPath, const BYTE* pData, DWORD cbData)
{
    HANDLE hFile = CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        return 0;
    }

    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(hFile, pData, cbData, &cbWritten, NULL);
    // The data must be on the disk before the file counts as saved.
    const BOOL fFlushed = FlushFileBuffers(hFile);
    CloseHandle(hFile);
    if (fWritten && fFlushed && cbWritten == cbData) {
        return cbWritten;
    }
    // A full disk takes less than asked (and says so only by the count):
    // a file cut short is not the data, so the one made here goes.
    DeleteFileA(szPath);
    return 0;
}
