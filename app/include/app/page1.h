// The main page page1: its structure (one record pointer per object), the page-level
// variables bound to its objects, and the handlers that belong to the page itself.
//
//   Loadpage(form_page1);             // builds the records (start-up)
//   for (;;) Gopage(form_page1);      // runs the page
//
// The handlers of the command buttons and sweep fields live with the device command task
// (vna/handlers.h); those of the plots, marker, Smith chart and RLC view in traces.h,
// smith.h and rlc.h.
#pragma once

#include <cstdint>

#include "forms/object.h"

struct page1_Struct {
    OBJ Body;
    OBJ* Form;
    OBJ *label0, *connect, *disconnect, *panel3, *lstart, *estart, *lstop, *estop, *lpoints, *epoints, *panel1,
        *cal_short, *cal_load, *cal_isol, *cal_thru, *cal_done, *cal_save, *cal_recall, *scan, *abort, *lacquired,
        *status, *cal_open, *panel2, *checkbox1, *checkbox2, *checkbox3, *checkbox4, *checkbox5, *button1,
        *eacquired, *checkbox6, *panel4, *button2, *button3, *panel5, *panel6, *bitmap1, *panel7, *label1, *panel8,
        *panel9, *label2, *label3, *panel10, *panel11, *panel12, *edit4, *panel13, *label5, *panel14, *label6,
        *bitmap2, *panel15, *label4, *panel16, *panel17, *label8, *label7, *label9, *edit2, *edit3, *edit5, *edit6,
        *edit7, *edit8, *edit9, *checkbox7, *button4, *panel18, *button5, *panel19, *bitmap3, *edit11, *label10,
        *bitmap4, *label11, *label12, *label13, *label15, *edit13, *panel20, *label16, *button6, *checkbox8, *edit1,
        *label18, *panel21, *bitmap6, *label17, *bitmap5, *label14;
};
extern page1_Struct* page1;

// The form procedure of the page.
void form_page1();

// Page-level variables. page1_switch34 is the selected tab (1 S11, 2 S21, 3 RLC).
extern int16_t page1_switch34;
extern uint8_t MB3, MB4, MB5, MB6, MB7, MB8, MB9, MB10, MB11, MB12, MB13, MB14, MB15, MB27, MB88, MB89,
    MB111;
// The status line as the page shows it: a copy of vna_status taken at every pass.
extern char page1_status[128];

// The number of samples the page computes and shows: vna_points bounded to the arrays.
int page_points();
// quale kept inside 0 .. max(page_points(), 1) - 1.
int marker_index();

// Lets the connect command take its port from the port selector (start-up).
void page1_install_port_source();

// Handlers of the page itself.
void page1_onentry();
void page1_panel2_onentry();
void page1_label2_oncreate();
void page1_edit11_onentry();
void page1_edit13_onentry();
void page1_label15_onentry();
void page1_panel21_onentry();
void page1_cal_save_onmousedown();
void page1_cal_recall_onmousedown();
