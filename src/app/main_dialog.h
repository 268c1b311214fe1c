// The main dialog: its life, and the dispatch of its buttons.
#pragma once

#include <windows.h>

// Builds the template, runs the modal dialog and returns its result: 0 after
// a normal close, -1 when the dialog cannot be created.
INT_PTR RunMainDialog();

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
