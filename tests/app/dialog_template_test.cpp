#include "app/dialog_template.h"

#include <gtest/gtest.h>

#include <string>
#include <windows.h>

namespace {

// Reads the template back as the system would: fixed records, then words.
struct Reader {
    const BYTE* pBase;
    size_t off;

    WORD Word()
    {
        WORD w;
        memcpy(&w, pBase + off, sizeof w);
        off += sizeof w;
        return w;
    }
    std::string String()
    {
        std::string s;
        for (WORD w = Word(); w != 0; w = Word()) s += static_cast<char>(w);  // the texts are ASCII
        return s;
    }
};

TEST(DialogTemplate, HeaderAndItemsAsDesigned)
{
    BYTE* pBlock = static_cast<BYTE*>(GlobalAlloc(GPTR, CB_DIALOG_TEMPLATE_BLOCK));
    ASSERT_NE(pBlock, nullptr);
    const DWORD cbUsed = WriteMainDialogTemplate(pBlock);
    EXPECT_EQ(cbUsed, 286u);

    DLGTEMPLATE header;
    memcpy(&header, pBlock, sizeof header);
    EXPECT_EQ(header.style, 0x00080840u);
    EXPECT_EQ(header.style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME | DS_MODALFRAME), 0u);
    EXPECT_EQ(header.dwExtendedStyle, 0u);
    EXPECT_EQ(header.cdit, 4);
    EXPECT_EQ(header.x, 50);
    EXPECT_EQ(header.y, 50);
    EXPECT_EQ(header.cx, 155);
    EXPECT_EQ(header.cy, 100);

    Reader r{pBlock, sizeof(DLGTEMPLATE)};
    EXPECT_EQ(r.Word(), 0);  // menu
    EXPECT_EQ(r.Word(), 0);  // class
    EXPECT_EQ(r.String(), "Hex and Binary conversions");
    EXPECT_EQ(r.Word(), 10);  // point size
    EXPECT_EQ(r.String(), "MS Sans Serif");

    const struct {
        size_t off;
        WORD wClass;
        const char* szCaption;
        WORD wId;
        DWORD dwStyle;
        short x, y, cx, cy;
    } kItems[] = {
        {108, 0x0080, "bin2hex", 101, 0x50010000, 106, 5, 40, 12},
        {148, 0x0080, "hex2bin", 102, 0x50010000, 106, 18, 40, 12},
        {188, 0x0080, "Close", 2, 0x50010000, 106, 31, 40, 12},
        {224, 0x0082, "MS timing location", 100, 0x50000000, 5, 5, 60, 9},
    };
    for (const auto& want : kItems) {
        SCOPED_TRACE(want.szCaption);
        r.off = (r.off + 3) & ~size_t{3};
        ASSERT_EQ(r.off, want.off);
        DLGITEMTEMPLATE item;
        memcpy(&item, pBlock + r.off, sizeof item);
        EXPECT_EQ(item.style, want.dwStyle);
        EXPECT_EQ(item.dwExtendedStyle, 0u);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.id, want.wId);
        r.off += sizeof(DLGITEMTEMPLATE);
        EXPECT_EQ(r.Word(), 0xFFFF);
        EXPECT_EQ(r.Word(), want.wClass);
        EXPECT_EQ(r.String(), want.szCaption);
        EXPECT_EQ(r.Word(), 0);  // creation data
    }
    EXPECT_EQ(r.off, cbUsed);

    // The rest of the block stays as allocated.
    for (DWORD i = cbUsed; i < CB_DIALOG_TEMPLATE_BLOCK; ++i) ASSERT_EQ(pBlock[i], 0) << i;
    GlobalFree(pBlock);
}

}  // namespace
