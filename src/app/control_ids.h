#pragma once

// Controls of the main dialog; "Close" is the platform's IDCANCEL (2).
#define IDC_TIMING  100
#define IDC_BIN2HEX 101
#define IDC_HEX2BIN 102
