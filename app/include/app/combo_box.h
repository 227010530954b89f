// The port selector component Co1: a closed box showing `text` with a drop button, and a
// list of up to 20 items that opens under it. The start-up port scan fills numitems, items
// and val; the connect command reads text.
//
//   form_line(1, TPanel, "Co1", 0).at(16, 12).caption("object1").tag(1)   // tag: width, 9 chars
//       .component(&combo_box_form, (void**)&Co1)
//   snprintf(Co1->items[Co1->numitems++], COMBO_TEXT, "COM%d", port);   // the port scan,
//   Co1->val = -1;                                      // then the next pass shows item 0
//   char port[16]; combo_text(Co1, port, sizeof port);   // in the connect command
#pragma once

#include <cstddef>
#include <cstdint>

#include "forms/object.h"
#include "forms/table.h"

inline constexpr int COMBO_ITEMS = 20;
inline constexpr int COMBO_TEXT = 32;

struct TComboBox_Struct {
    OBJ Body;
    OBJ* Form;          // its tag is the box width in characters (below 2: 9; at most 31)
    int8_t val;         // selected item, -1 for none
    int8_t valh;        // item whose text `text` shows
    int8_t numitems;    // number of items, at most 20
    uint8_t active;     // 1 while the list is open
    uint8_t extended;   // copy of active, bound to the drop button
    char text[COMBO_TEXT];
    char items[COMBO_ITEMS][COMBO_TEXT];
    OBJ *panel1, *panel2, *edit2, *button1, *edit1;
};

// The main page's instance and the form pointer used while the component is declared.
extern TComboBox_Struct* Co1;
extern TComboBox_Struct* Combo_box;

// The component's form, embedded by a page line with .component(&combo_box_form, ...).
extern const FORM combo_box_form;

// The chosen port for the connect command: text cut to n - 1 characters and NUL-terminated;
// empty while the component does not exist (c null).
void combo_text(const TComboBox_Struct* c, char* out, size_t n);
