#include "app/dialog_template.h"

#include "app/control_ids.h"

namespace {

#define CLASS_BUTTON 0x0080
#define CLASS_STATIC 0x0082

struct DIALOG_ITEM {
    WORD wClass;
    LPCSTR szCaption;
    WORD wId;
    DWORD dwStyle;
    short x, y, cx, cy;
};

// Buttons in a column at the right, the label at the top left; tab order follows.
const DIALOG_ITEM DIALOG_ITEMS[] = {
    {CLASS_BUTTON, "bin2hex", IDC_BIN2HEX, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 106, 5, 40, 12},
    {CLASS_BUTTON, "hex2bin", IDC_HEX2BIN, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 106, 18, 40, 12},
    {CLASS_BUTTON, "Close", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 106, 31, 40, 12},
    {CLASS_STATIC, "MS timing location", IDC_TIMING, WS_CHILD | WS_VISIBLE | SS_LEFT, 5, 5, 60, 9},
};

// No WS_POPUP and no WS_CAPTION: the dialog is a top-level overlapped window,
// which gets its title bar, close box and fixed border from the system.
const DWORD DIALOG_STYLE = WS_SYSMENU | DS_CENTER | DS_SETFONT;

BYTE* PutWord(BYTE* p, WORD w)
{
    *reinterpret_cast<WORD*>(p) = w;
    return p + sizeof(WORD);
}

// UTF-16 from 8-bit text, terminator included. The block is far larger than
// any of these strings, so the length is not a limit in practice. Windows
// refuses MB_PRECOMPOSED under the UTF-8 code page (which the manifest asks
// for), and converts nothing at all.
BYTE* PutString(BYTE* p, LPCSTR sz)
{
    const DWORD dwFlags = GetACP() == CP_UTF8 ? 0 : MB_PRECOMPOSED;
    const int cwch = MultiByteToWideChar(CP_ACP, dwFlags, sz, -1, reinterpret_cast<LPWSTR>(p), 64);
    return p + cwch * sizeof(WCHAR);
}

BYTE* AlignDword(BYTE* pBase, BYTE* p)
{
    return pBase + ((p - pBase + 3) & ~static_cast<INT_PTR>(3));
}

}  // namespace

DWORD WriteMainDialogTemplate(BYTE* pBlock)
{
    DLGTEMPLATE* pHeader = reinterpret_cast<DLGTEMPLATE*>(pBlock);
    pHeader->style = DIALOG_STYLE;
    pHeader->dwExtendedStyle = 0;
    pHeader->cdit = ARRAYSIZE(DIALOG_ITEMS);
    pHeader->x = 50;
    pHeader->y = 50;
    pHeader->cx = 155;
    pHeader->cy = 100;

    BYTE* p = pBlock + sizeof(DLGTEMPLATE);
    p = PutWord(p, 0);  // no menu
    p = PutWord(p, 0);  // the standard dialog class
    p = PutString(p, "Hex and Binary conversions");
    p = PutWord(p, 10);  // point size, for DS_SETFONT
    p = PutString(p, "MS Sans Serif");

    for (const DIALOG_ITEM& item : DIALOG_ITEMS) {
        p = AlignDword(pBlock, p);
        DLGITEMTEMPLATE* pItem = reinterpret_cast<DLGITEMTEMPLATE*>(p);
        pItem->style = item.dwStyle;
        pItem->dwExtendedStyle = 0;
        pItem->x = item.x;
        pItem->y = item.y;
        pItem->cx = item.cx;
        pItem->cy = item.cy;
        pItem->id = item.wId;
        p += sizeof(DLGITEMTEMPLATE);
        p = PutWord(p, 0xFFFF);  // class by ordinal
        p = PutWord(p, item.wClass);
        p = PutString(p, item.szCaption);
        p = PutWord(p, 0);  // no creation data
    }
    return static_cast<DWORD>(p - pBlock);
}
