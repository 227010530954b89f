// The file dialog component Dialog1: the main page embeds its form, and the calibration
// file handlers fill FileType, Title, Scala and FullScreen (8) and call Execute.
//
//   Dialog1->FullScreen = 8;
//   snprintf(Dialog1->Title, sizeof Dialog1->Title, "   Load file");
//   if (Dialog1->Execute()) open(Dialog1->FileName);   // bare name, its folder now current
//
// Execute returns non-zero when the operator chose a file: FileName holds the bare name and
// the process's current directory is the chosen file's folder. It returns 0 on cancel or
// failure (FileName empty, current directory unchanged); a name longer than FileName holds
// (79 characters) or a folder that cannot be entered is refused with the reason on the
// status line (vna_status). A title beginning "Save" (leading blanks skipped) takes a new
// name, and an existing one after a confirmation; any other title is for loading. The
// chooser shows folders and the files that match FileType.
//
// The choice is made in the desktop's file chooser (zenity, then kdialog, found on PATH
// while DISPLAY or WAYLAND_DISPLAY is set), otherwise in the program's own dialog page
// (app/dialog_page.h). The environment variable CORVANE_FILE_DIALOG=builtin|zenity|kdialog
// forces one of them (a forced chooser that is not installed: "zenity not found" on the
// status line, 0). Execute blocks the page-loop thread while the chooser is open.
#pragma once

#include <cstdint>

#include "forms/object.h"
#include "forms/table.h"

struct TOpenDialog_Struct {
    OBJ Body;
    OBJ* Form;
    int32_t (*Execute)();  // OpenDialog_Execute once the component has been entered
    char FileName[80];     // result: the chosen file's name without its folder
    char FileType[80];     // pattern shown and applied, "*.cal"
    char Title[40];        // "   Save file" opens a chooser that accepts a new name
    uint8_t FullScreen;    // 8: the file chooser
    uint8_t Found;         // not used in mode 8
    float Scala;           // 2.0 after creation; not used in mode 8
    OBJ* panel1;           // declared; nothing sets or reads it
};

// The main page's instance, the form pointer used while the component is declared, and the
// component whose Execute runs.
extern TOpenDialog_Struct* Dialog1;
extern TOpenDialog_Struct* OpenDialog;
extern TOpenDialog_Struct* sys_gen_point0;

// The component's form, embedded by a page line with .component(&open_dialog_form, ...).
extern const FORM open_dialog_form;

// The dialog operation of sys_gen_point0 (see above).
int32_t OpenDialog_Execute();
