// The main dialog's template, built in memory rather than loaded from resources.
#pragma once

#include <windows.h>

// Size of the zero-filled block the template is written into; it uses 286.
#define CB_DIALOG_TEMPLATE_BLOCK 1024

// Writes the header and the four items into pBlock (zero-filled, DWORD
// aligned, CB_DIALOG_TEMPLATE_BLOCK bytes) and returns the bytes used.
DWORD WriteMainDialogTemplate(BYTE* pBlock);
