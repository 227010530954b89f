// The program's own file dialog page: a title, the folder shown, a list of the folder's
// entries (".." at the top, then its folders with a trailing "/", then the files that match
// the filter, case ignored; each group sorted without regard to case; hidden entries left
// out), scroll buttons and bar, a name field, OK and Cancel. The file dialog component runs
// it when no desktop file chooser is there.
//
//   std::string path;
//   if (dialog_page_run("Load file", "*.cal", false, &path)) use(path);  // absolute path
//
// It runs modally with Gopage on the page-loop thread, drawn over the page whose handler
// called it; the rest of that page's pass is skipped, then it redraws whole and runs on.
// Clicking a folder shows it, clicking a file puts its name in the name field, OK or Enter
// takes the name, Cancel or Escape cancels. A headless script drives it through
// dialog_page_pass_hook and the positions below.
#pragma once

#include <string>

// Shows the dialog page until OK or Cancel. On OK it returns true with *path the chosen
// file's absolute path (its folder part normalised: no ".", "..", or doubled "/"); a
// name typed with a folder part ("sub/x.cal", "/tmp/x.cal") is taken from the folder
// shown or from the root. In save mode an existing file is taken after a second OK. The
// process's current directory is not changed.
bool dialog_page_run(const char* title, const char* filter, bool save, std::string* path);

// Runs once per pass of the dialog page, before its objects execute (not on the
// initialisation pass), so that a test can script pointer and key input into it.
extern void (*dialog_page_pass_hook)();

// Opens a folder of any path length, component by component (relative paths from the
// current directory); the descriptor (O_PATH) can be passed to fchdir. -1 with errno set
// when a component is missing or not a folder.
int open_folder(const char* path);

// Screen rectangles of the parts a script clicks.
struct DialogRect {
    int x, y, width, height;
    constexpr int centre_x() const { return x + width / 2; }
    constexpr int centre_y() const { return y + height / 2; }
};
inline constexpr DialogRect DIALOG = {132, 50, 760, 500};            // the whole dialog
inline constexpr int DIALOG_ROWS = 16;                               // list rows shown at once
inline constexpr DialogRect DIALOG_FIRST_ROW = {148, 122, 688, 22};  // row i is i heights lower
inline constexpr DialogRect DIALOG_SCROLL_UP = {850, 120, 30, 30};
inline constexpr DialogRect DIALOG_SCROLL_DOWN = {850, 446, 30, 30};
inline constexpr DialogRect DIALOG_NAME_FIELD = {202, 510, 504, 24};
inline constexpr DialogRect DIALOG_OK_BUTTON = {724, 508, 70, 30};
inline constexpr DialogRect DIALOG_CANCEL_BUTTON = {806, 508, 74, 30};
