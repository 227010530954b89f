// The main page's colours, frames and fonts, named once, so that its table reads as words.
//
//   form_line(1, TButton, "connect", ...).colours(BUTTON_FACE, BLACK, BLACK)
//       .frame(FRAME_DOUBLE_RAISED).font(UNICODE_12)
#pragma once

#include <cstdint>

#include "assets/fonts.h"

// Colours: below 256 a palette index (3-3-2), else a direct colour 0xRRGGBB00 ORed with the
// palette index of the record.
inline constexpr uint32_t TRANSPARENT = 4;
inline constexpr uint32_t BLACK = 0;
inline constexpr uint32_t WHITE = 255;
inline constexpr uint32_t BUTTON_FACE = 146;         // grey-blue face of the push buttons
inline constexpr uint32_t LIST_LINE = 219;           // frame of the port list's rows
inline constexpr uint32_t PAGE_GREY = 0xC0C0C0DB;    // page, calibration panel, status bar
inline constexpr uint32_t NAME_GREY = 0x80808092;    // the page name in the corner
inline constexpr uint32_t DARK_BLUE = 0x005E2F08;    // measurement area and tab buttons
inline constexpr uint32_t MARKER_BLUE = 0x006F370C;  // marker bar
inline constexpr uint32_t TITLE_TEAL = 0x33753C2C;   // RLC title bar and limits caption
inline constexpr uint32_t YELLOW = 0xFFFF00FC;       // captions and readouts on blue
inline constexpr uint32_t PALE_YELLOW = 0xFFFF80FE;
inline constexpr uint32_t RGB_WHITE = 0xFFFFFFFF;

// Frame styles (align): bit 0 raised, bit 1 double line; 4 and 5 rectangles; 6 none.
inline constexpr int FRAME_SUNKEN = 0;
inline constexpr int FRAME_RAISED = 1;
inline constexpr int FRAME_DOUBLE_SUNKEN = 2;
inline constexpr int FRAME_DOUBLE_RAISED = 3;
inline constexpr int FRAME_RECT = 4;
inline constexpr int FRAME_NONE = 6;

// Fonts as the table's .font() takes them: number, x scale or spacing, y scale or height,
// and the Unicode font's data for number 33.
struct PageFont {
    int n, x, y;
    const uint8_t* data;
};
inline constexpr int UNICODE_FONT = 33;
inline constexpr PageFont FIXED_8 = {0, 1, 1, nullptr};       // 8 x 8 fixed
inline constexpr PageFont NO_FONT = {0, 0, 0, nullptr};
inline constexpr PageFont UNICODE_10 = {UNICODE_FONT, 1, 8, T_Arial_Unicode_MS_10};
inline constexpr PageFont UNICODE_12 = {UNICODE_FONT, 2, 8, T_Arial_Unicode_MS_12};
inline constexpr PageFont UNICODE_14 = {UNICODE_FONT, 0, 8, T__Arial_Unicode_MS_14};
inline constexpr PageFont UNICODE_16 = {UNICODE_FONT, 5, 8, T_Arial_Unicode_MS_16};
inline constexpr PageFont UNICODE_18_BOLD = {UNICODE_FONT, 4, 8, T_Arial_Unicode_MS_18_Bold};
inline constexpr PageFont UNICODE_28 = {UNICODE_FONT, 3, 8, T_Arial_Unicode_MS_28};
inline constexpr PageFont TAB_FONT = {10, 10, 24, nullptr};    // proportional, tab captions
inline constexpr PageFont CHOICE_FONT = {21, 10, 18, nullptr};  // trace choice captions
inline constexpr PageFont RLC_VALUE_FONT = {12, 18, 37, nullptr};
inline constexpr PageFont RLC_UNIT_FONT = {12, 24, 37, nullptr};
inline constexpr PageFont DROP_FONT = {3, 1, 1, nullptr};      // "t" draws a down arrow
inline constexpr PageFont LIST_FONT = {8, 10, 16, nullptr};    // port selector text
inline constexpr PageFont MONO_10 = {20, 10, 16, nullptr};     // every character 8 x 16: fields of n characters
