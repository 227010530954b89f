// The widget kinds that obj_exec calls for each visible object, the frame drawing and the
// text measurement they use. Each kind takes its input through the support procedures of
// forms/page.h, updates Var where it has a value, and draws when the redraw rules say so.
#pragma once

#include <cstdint>

#include "forms/object.h"
#include "gfx/ttf.h"

void TPage();
void TPanel();
void TLabel();
// Momentary (flag bit 0 clear): Var.Byte is 1 while pressed. Radio: Var.Byte = tag.
void TButton();
// Toggle once per press, or radio (Var.Byte = tag on the press).
void TCheckbox();
// Shows cell Var.Byte of an image strip (clamped to the last cell).
void TBitmap();

// Start of every kind: the parent's TrueType font name, the drawn size, the font height.
void widget_prologue();
// SET_FONT(DEFAULT, 0), which every kind calls on every pass, without the call while the name
// is empty or one character: SET_FONT then changes nothing.
inline void set_default_font() {
    if (DEFAULT[0] && DEFAULT[1]) SET_FONT(DEFAULT, 0);
}
// After drawing: the font name for the children and the hit rectangle (none when the object
// is not enabled).
void widget_epilogue();
// The current object's colours as drawn: the 32-bit field ORed with the palette index.
inline int obj_bg() { return int(me->rgb_color | me->color); }
inline int obj_fg() { return int(me->rgb_fontcolor | me->fontcolor); }
inline int obj_frame() { return int(me->rgb_bordercolor | me->bordercolor); }

// The caption right of a box (check boxes, edit fields): bitmap text located at locate_x,
// TrueType text or an image at x, in the frame colour.
void side_caption(int locate_x, int x, bool label);
// Paints the image file a "$name" caption names, from the program's directory.
int paint_from_mydir(const char* name);

// TrueType font name of the page, copied from the project's at every page pass.
extern char PAGE_FONT[TTF_NAME];
extern char PROJECT_FONT[TTF_NAME];
// Glyph size of the fixed fonts 0 to 6.
extern const int fontsiz[7];

// Frame of style align around the current object (b extra pixels out), and around a
// rectangle.
void bevel(int b);
void bevelxy(int x, int y, int w, int h, int b);

// Width of s in the current declaration font; height of the current caption.
int str_dx(const char* s);
int str_dy();
// The same after selecting a font by number (0..255; 0 keeps the current one for
// str_width, selects font 0 for str_height) or by font-data address.
int str_width(const char* s, intptr_t font);
int str_height(intptr_t font);
// Size of a TrueType caption, or of the BMP file "$name" (null: the last one measured).
int bitmap_dx(const char* s);
int bitmap_dy(const char* s);

// The TrueType font file a text is drawn with (null: bitmap font), by the widgets' rules;
// labels pass label = true.
const char* widget_ttf_font(const char* text, bool label);
// Draws text with TrueType when it needs it; 0 when it was not drawn (use the bitmap font).
int widget_ttf_text(int x, int y, const char* text, uint32_t palette_colour, bool label);
