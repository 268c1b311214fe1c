// The standard Open and Save As choosers, and whole files moved in one piece
// between disk and a zero-filled memory block.
#pragma once

#include <windows.h>

// A name of MAX_PATH characters, counted in bytes: under the UTF-8 code page
// a character may take three.
#define CCH_FILE_NAME (3 * MAX_PATH)

// The length of cb bytes of ANSI text in UTF-16 characters, which is what a
// path's limit of MAX_PATH counts, whatever the code page.
int CwchOfAnsi(LPCSTR sz, size_t cb);

// "All Files" with the pattern "*.*", double-zero terminated.
extern const char FILE_FILTER[];

// Each chooser's own name buffer; a name stays valid until its next call.
extern char szOpenName[CCH_FILE_NAME];
extern char szSaveName[CCH_FILE_NAME];

// Return the chooser's buffer: the chosen name, or an empty string when no
// file was chosen (cancelled, or the dialog failed).
LPCSTR PickInputFile(HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle, LPCSTR szFilter);
LPCSTR PickOutputFile(HWND hwndOwner, HINSTANCE hInstance, LPCSTR szTitle, LPCSTR szFilter);

// Reads the whole file into a new zero-filled block one byte longer than the
// file, so the data is always followed by a zero byte. On success stores the
// block (the caller frees it with GlobalFree) and the bytes read, and returns
// TRUE; on failure stores nothing and returns FALSE.
BOOL LoadFileBytes(LPCSTR szPath, BYTE** ppData, DWORD* pcbData);

// Creates or replaces the file with cbData bytes, flushed, and returns the
// bytes written: all of them, or 0. The data is written beside the file
// first and then moved over it, so a save that fails (no room, a file held
// open, a read-only, hidden or system file, which are refused) leaves the
// file as it was and nothing beside it. A link is followed: the file it
// leads to is replaced and the link kept. 0 bytes asked make an empty file.
DWORD SaveFileBytes(LPCSTR szPath, const BYTE* pData, DWORD cbData);
