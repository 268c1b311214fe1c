// The two conversion commands, run to their end inside the button click.
#pragma once

#include <windows.h>

// Any file to hex text.
void OnBin2Hex(HWND hwnd);

// Hex text back to bytes, with the outcome and byte count reported.
void OnHex2Bin(HWND hwnd);
