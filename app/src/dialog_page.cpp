// The program's own file dialog page: its table, the folder listing and the handlers.
#include "app/dialog_page.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/style.h"
#include "forms/edit.h"
#include "forms/page.h"
#include "forms/table.h"
#include "forms/widgets.h"
#include "gfx/draw.h"
#include "platform/input.h"

void (*dialog_page_pass_hook)() = nullptr;

namespace {

// What the page shows and what the operator did, owned by the page-loop thread.
struct DialogState {
    std::string folder;                // absolute and normalised
    std::vector<std::string> entries;  // "..", folders with a trailing "/", then files
    int folders = 0;                   // entries before this index are folders ("..")
    int top = 0;                       // entry shown in the first row
    int selected = -1;                 // file entry last clicked
    std::string filter;
    bool save = false;
    std::string replace;  // existing file that a second OK replaces
    std::string chosen;
    bool ok = false;
    bool running = false;  // between the start of the dialog page and its end
    unsigned stamp = 0;   // counts the changes of what is shown
    bool dirty = false;   // the dialog redraws whole on the next pass
    bool pointer_held = false;  // the press that opened the dialog is not released yet
    int last_key = 0;
};
DialogState dlg;

// Captions (the labels show these buffers) and the name field's text. The name field's
// cell holds 63 characters, but a clicked name is kept whole here: the field writes its
// cell back only when something was typed.
char title_text[48];
char folder_text[512];
char message_text[160];
char name_text[NAME_MAX + 1];
char row_text[DIALOG_ROWS][NAME_MAX + 8];
unsigned row_stamp[DIALOG_ROWS];
unsigned folder_stamp;

// What is shown changed: the dialog redraws.
void changed() {
    dlg.stamp++;
    dlg.dirty = true;
}

void set_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
void set_message(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(message_text, sizeof message_text, format, args);
    va_end(args);
    changed();
}

// path resolved against folder without touching the disk: "." and empty parts dropped,
// ".." takes the part before it away (as a shell's cd does).
std::string resolve(const std::string& folder, const std::string& path) {
    std::vector<std::string> parts;
    const std::string whole = path[0] == '/' ? path : folder + "/" + path;
    for (size_t i = 0; i < whole.size();) {
        size_t end = whole.find('/', i);
        if (end == std::string::npos) end = whole.size();
        const std::string part = whole.substr(i, end - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = end + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

bool is_folder(DIR* d, const dirent* e) {
    if (e->d_type == DT_DIR) return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
    struct stat st;
    return fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// The folder's visible (not hidden) folders and the files matching the filter; 0, or the
// errno of what failed (what was read before stays).
int read_folder(const std::string& path, std::vector<std::string>* dirs, std::vector<std::string>* files) {
    const int at = open_folder(path.c_str());
    if (at < 0) return errno;
    const int fd = openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int open_error = errno;
    close(at);
    if (fd < 0) return open_error;
    DIR* d = fdopendir(fd);
    if (!d) {
        const int e = errno;
        close(fd);
        return e;
    }
    const char* filter = dlg.filter.empty() ? "*" : dlg.filter.c_str();
    for (;;) {
        errno = 0;  // readdir tells its end from an error only through errno
        const dirent* e = readdir(d);
        if (!e) break;
        if (e->d_name[0] == '.') continue;  // ".", ".." and hidden entries
        if (is_folder(d, e))
            dirs->push_back(e->d_name);
        else if (fnmatch(filter, e->d_name, FNM_CASEFOLD) == 0)
            files->push_back(e->d_name);
    }
    const int error = errno;
    closedir(d);
    return error;
}

// Sorted without regard to case, then byte by byte.
void sort_names(std::vector<std::string>* v) {
    std::sort(v->begin(), v->end(), [](const std::string& a, const std::string& b) {
        const int c = strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
}

void list_folder() {
    std::vector<std::string> dirs, files;
    const int error = read_folder(dlg.folder, &dirs, &files);
    sort_names(&dirs);
    sort_names(&files);
    dlg.entries.clear();
    if (dlg.folder != "/") dlg.entries.push_back("..");
    for (const std::string& d : dirs) dlg.entries.push_back(d + "/");
    dlg.folders = int(dlg.entries.size());
    dlg.entries.insert(dlg.entries.end(), files.begin(), files.end());
    dlg.top = 0;
    dlg.selected = -1;
    dlg.replace.clear();
    if (error)
        set_message("This folder cannot be read (%s)", std::strerror(error));
    else
        set_message("%s", "");
}

void show_folder(const std::string& path) {
    dlg.folder = path;
    list_folder();
}

// ---- text that fits ----

// Width of the UTF-8 character at s in the font of the object being declared.
int char_width(const char* s, size_t* len) {
    size_t n = 1;
    while (s[n] && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) n++;
    char one[8] = {};
    std::memcpy(one, s, std::min(n, sizeof one - 1));
    *len = n;
    return str_dx(one);
}

// Copies text into out (size bytes) so that it is at most width pixels wide in the current
// object's font: a text too wide loses its end ("name...") or, with keep_tail, its start
// ("...tail"). Only what is shown is shortened.
void fit_text(char* out, size_t size, const char* text, int width, bool keep_tail) {
    std::vector<size_t> at;  // where each character starts, and the end
    std::vector<int> w;
    int total = 0;
    for (size_t i = 0, n = 0; text[i]; i += n) {
        at.push_back(i);
        w.push_back(char_width(text + i, &n));
        total += w.back();
    }
    const size_t length = std::strlen(text), count = w.size();
    at.push_back(length);
    if (total <= width && length < size) {
        std::memcpy(out, text, length + 1);
        return;
    }
    const int room = width - str_dx("...");
    const size_t max_bytes = size - 4;
    size_t n = 0;
    int used = 0;
    if (!keep_tail) {
        while (n < count && used + w[n] <= room && at[n + 1] <= max_bytes) used += w[n++];
        std::snprintf(out, size, "%.*s...", int(at[n]), text);
        return;
    }
    while (n < count && used + w[count - 1 - n] <= room && length - at[count - 1 - n] <= max_bytes)
        used += w[count - 1 - n++];
    std::snprintf(out, size, "...%s", text + at[count - n]);
}

// ---- handlers ----

// Row i of the list has tag ROW_TAG + i (labels with tag 1 or 2 align their text right or
// centred).
constexpr int ROW_TAG = 10;

// A folder (any path length) is there.
bool folder_exists(const std::string& path) {
    const int fd = open_folder(path.c_str());
    if (fd >= 0) close(fd);
    return fd >= 0;
}

bool file_exists(const std::string& path) {
    const size_t slash = path.rfind('/');
    const int fd = open_folder(slash == 0 ? "/" : path.substr(0, slash).c_str());
    if (fd < 0) return false;
    const bool found = faccessat(fd, path.c_str() + slash + 1, F_OK, 0) == 0;
    close(fd);
    return found;
}

// OK: a folder typed in is shown; an existing file in save mode needs a second OK;
// anything else is the choice.
void confirm() {
    if (!dlg.running) return;
    if (!name_text[0]) return set_message("Type or choose a file name");
    const std::string path = resolve(dlg.folder, name_text);
    if (folder_exists(path)) {
        name_text[0] = 0;
        return show_folder(path);
    }
    if (name_text[std::strlen(name_text) - 1] == '/') return set_message("No such folder");
    if (dlg.save && dlg.replace != path && file_exists(path)) {
        dlg.replace = path;
        return set_message("%s exists: OK again replaces it", path.c_str() + path.rfind('/') + 1);
    }
    dlg.chosen = path;
    dlg.ok = true;
    page_end = 1;
}

// When the dialog ends, the handler that opened it resumes with the last dialog object's
// handlers and key state still in the runtime's variables, so Cancel's mouse-up handler
// may be called once more from that page: it does nothing then.
void cancel() {
    if (!dlg.running) return;
    dlg.ok = false;
    page_end = 1;
}

// Enter confirms and Escape cancels, each once per press (a key held when the dialog
// opened does nothing). Runs after the name field, so a name typed and ended with Enter
// is in name_text.
void keys() {
    const int k = obj_keypress;
    if (k == dlg.last_key) return;
    dlg.last_key = k;
    if (k == 13) confirm();
    if (k == 27) cancel();
}

// A folder row enters the folder (the listing only); a file row puts its name in the name
// field, replacing what was being typed.
void row_pressed() {
    const int k = dlg.top + me->tag - ROW_TAG;
    if (k >= int(dlg.entries.size())) return;
    if (k < dlg.folders) return show_folder(resolve(dlg.folder, dlg.entries[k]));
    in_edit = old_edit = 0;
    std::snprintf(name_text, sizeof name_text, "%s", dlg.entries[k].c_str());
    dlg.selected = k;
    set_message("%s", "");
}

void scroll_by(int rows) {
    const int last_top = std::max(0, int(dlg.entries.size()) - DIALOG_ROWS);
    const int top = std::clamp(dlg.top + rows, 0, last_top);
    if (top == dlg.top) return;
    dlg.top = top;
    changed();
}
void scroll_up() { scroll_by(1 - DIALOG_ROWS); }
void scroll_down() { scroll_by(DIALOG_ROWS - 1); }

// The scroll bar's thumb: its top and height in a track of the given height.
struct Thumb {
    int y, height;
};
Thumb thumb(int track) {
    const int n = int(dlg.entries.size());
    if (n <= DIALOG_ROWS) return {0, track};
    const int h = std::max(12, track * DIALOG_ROWS / n);
    return {(track - h) * dlg.top / (n - DIALOG_ROWS), h};
}

void track_pressed() {
    const Thumb t = thumb(me->height);
    if (mouse_y < t.y) scroll_up();
    if (mouse_y >= t.y + t.height) scroll_down();
}

void draw_track() {
    v_rectfillc(x_x, y_y, dx, dy, obj_bg());
    const Thumb t = thumb(dy);
    v_rectfillc(x_x + 2, y_y + t.y, dx - 4, t.height, int(BUTTON_FACE));
    v_rectc(x_x + 2, y_y + t.y, dx - 4, t.height, int(BLACK));
}

// A black triangle pointing up or down in the middle of the current button.
void draw_arrow(bool up) {
    const int cx = x_x + me->width / 2, cy = y_y + me->height / 2;
    for (int i = 0; i < 6; i++) v_linec(cx - i, up ? cy - 3 + i : cy + 3 - i, 2 * i + 1, 0, int(BLACK));
}

// The list's background, with the band of the file last clicked.
void draw_list() {
    v_rectfillc(x_x - 1, y_y - 1, dx + 1, dy + 1, obj_bg());
    const int row = dlg.selected - dlg.top;
    if (row >= 0 && row < DIALOG_ROWS)
        v_rectfillc(DIALOG_FIRST_ROW.x, DIALOG_FIRST_ROW.y + row * DIALOG_FIRST_ROW.height, DIALOG_FIRST_ROW.width,
                    DIALOG_FIRST_ROW.height, int(PALE_YELLOW));
}

// ---- entry handlers: what the objects show ----

// The dialog redraws whole, with everything in it, on the pass after a change.
void panel_entry() {
    if (!dlg.dirty) return;
    dlg.dirty = false;
    *me->vishold = 0;
}

void folder_entry() {
    if (folder_stamp == dlg.stamp) return;
    folder_stamp = dlg.stamp;
    fit_text(folder_text, sizeof folder_text, dlg.folder.c_str(), me->width, true);
}

// Row i shows entry top + i behind a blank (a leading "$" or "@" would be taken as an image
// or a number format). The rows are clones whose captions change: they register no redraw
// of their own and redraw with the dialog.
void row_entry() {
    _freeze_clone = 1;
    const int i = me->tag - ROW_TAG;
    if (i < 0 || i >= DIALOG_ROWS) return;
    if (row_stamp[i] != dlg.stamp) {
        row_stamp[i] = dlg.stamp;
        const int k = dlg.top + i;
        row_text[i][0] = ' ';
        fit_text(row_text[i] + 1, sizeof row_text[i] - 1, k < int(dlg.entries.size()) ? dlg.entries[k].c_str() : "",
                 me->width - 8, false);
    }
    me->caption = row_text[i];
}

// ---- the page ----

struct DialogForm {
    FORM_HEAD head;
    OBJ *panel, *title_bar, *title, *folder_caption, *folder, *list, *row, *up, *track, *down, *message, *name_caption,
        *name, *ok, *cancel;
};
DialogForm* dialog_ptr = nullptr;

constexpr DialogRect TITLE_BAR = {136, 54, 752, 30};
constexpr DialogRect TITLE = {146, 57, 700, 24};
constexpr DialogRect FOLDER_CAPTION = {144, 90, 60, 21};
constexpr DialogRect FOLDER = {208, 90, 636, 21};
constexpr DialogRect LIST = {144, 120, 700, 356};
constexpr DialogRect TRACK = {850, 154, 30, 288};
constexpr DialogRect MESSAGE = {144, 482, 736, 21};
constexpr DialogRect NAME_CAPTION = {144, 511, 56, 21};
static_assert(DIALOG_FIRST_ROW.y == LIST.y + 2 && LIST.height == DIALOG_ROWS * DIALOG_FIRST_ROW.height + 4);
static_assert(DIALOG_NAME_FIELD.width == 8 * (EDIT_STRING - 1));  // 63 characters of MONO_10

// A line at a screen rectangle, inside a parent at `in`.
FORM_OBJECT placed(int depth, obj_kind_fn kind, const char* name, uint32_t member, const DialogRect& r,
                   const DialogRect& in = DIALOG) {
    return form_line(depth, kind, name, member).at(r.x - in.x, r.y - in.y).size(r.width, r.height);
}
FORM_OBJECT label(const char* name, uint32_t member, const DialogRect& r, const char* text) {
    return placed(2, TLabel, name, member, r).colours(TRANSPARENT, BLACK, BLACK).font(UNICODE_12).caption(text);
}
FORM_OBJECT button(const char* name, uint32_t member, const DialogRect& r, const char* text) {
    return placed(2, TButton, name, member, r).colours(BUTTON_FACE, BLACK, BLACK).frame(FRAME_DOUBLE_RAISED)
        .font(UNICODE_12).caption(text).enable();
}
#define MEMBER(m) FORM_MEMBER(DialogForm, m)

const FORM_OBJECT dialog_lines[] = {
    form_head(TPage, "FileDialog", sizeof(DialogForm)).size(1024, 600).colours(TRANSPARENT, BLACK, BLACK)
        .frame(FRAME_NONE),
    placed(1, TPanel, "panel", MEMBER(panel), DIALOG, {0, 0, 0, 0}).colours(PAGE_GREY, BLACK, BLACK)
        .frame(FRAME_DOUBLE_RAISED).on_entry(panel_entry),
    placed(2, TPanel, "title_bar", MEMBER(title_bar), TITLE_BAR).colours(TITLE_TEAL, BLACK, BLACK).frame(FRAME_NONE),
    placed(3, TLabel, "title", MEMBER(title), TITLE, TITLE_BAR).colours(TRANSPARENT, BLACK, RGB_WHITE)
        .font(UNICODE_14).caption(title_text),
    label("folder_caption", MEMBER(folder_caption), FOLDER_CAPTION, "Folder:"),
    label("folder", MEMBER(folder), FOLDER, folder_text).on_entry(folder_entry),
    placed(2, TPanel, "list", MEMBER(list), LIST).colours(WHITE, BLACK, BLACK).frame(FRAME_SUNKEN)
        .on_draw(draw_list),
    placed(3, TLabel, "row", MEMBER(row), DIALOG_FIRST_ROW, LIST).colours(TRANSPARENT, BLACK, BLACK)
        .font(UNICODE_12).caption(" ").tag(ROW_TAG).flagged(OF_CLONE).repeated(DIALOG_ROWS, 0, DIALOG_FIRST_ROW.height)
        .enable().on_entry(row_entry).on_mousedown(row_pressed),
    button("up", MEMBER(up), DIALOG_SCROLL_UP, "").on_draw([] { draw_arrow(true); }).on_mousedown(scroll_up),
    placed(2, TPanel, "track", MEMBER(track), TRACK).colours(LIST_LINE, BLACK, BLACK).frame(FRAME_SUNKEN).enable()
        .on_draw(draw_track).on_mousedown(track_pressed),
    button("down", MEMBER(down), DIALOG_SCROLL_DOWN, "").on_draw([] { draw_arrow(false); }).on_mousedown(scroll_down),
    label("message", MEMBER(message), MESSAGE, message_text),
    label("name_caption", MEMBER(name_caption), NAME_CAPTION, "Name:"),
    placed(2, TEdit, "name", MEMBER(name), DIALOG_NAME_FIELD).colours(WHITE, BLACK, BLACK)
        .frame(FRAME_DOUBLE_SUNKEN).font(MONO_10).caption("").bind(name_text, VT_STRING).number(0, EDIT_STRING - 1)
        .flagged(OF_FOCUS | OF_EDIT).enable(),
    // After the name field: Enter finds the typed name committed.
    button("ok", MEMBER(ok), DIALOG_OK_BUTTON, "OK").on_entry(keys).on_mouseup(confirm),
    button("cancel", MEMBER(cancel), DIALOG_CANCEL_BUTTON, "Cancel").on_mouseup(cancel),
};
#undef MEMBER
const FORM dialog_form(dialog_lines);

// Whatever was pressed, typing goes to the name field: it has the focus from the first pass
// on, unless it is being typed into. Its object number is that of its status entry.
void focus_name_field() {
    const OBJ* name = dialog_ptr ? dialog_ptr->name : nullptr;
    if (!name || !name->visible) return;
    const auto n = uint16_t((name->visible - &obj_stat[0].visible) / ptrdiff_t(sizeof(STATUS)));
    if (in_edit == n || obj_focus == n) return;
    obj_focus = n;
    set_focus_refresh = 1;
}

void dialog_page() {
    if (!page_init) {
        // The press that opened the dialog, still held, clicks nothing in it.
        if (dlg.pointer_held && touch_premuto)
            obj_click = 0;
        else
            dlg.pointer_held = false;
        focus_name_field();
        if (dialog_page_pass_hook) dialog_page_pass_hook();
    }
    form_run(dialog_form, reinterpret_cast<void**>(&dialog_ptr));
}

}  // namespace

int open_folder(const char* path) {
    int fd = open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const char* p = path; fd >= 0 && *p;) {
        while (*p == '/') p++;
        const size_t n = std::strcspn(p, "/");
        const std::string part(p, n);
        p += n;
        if (part.empty() || part == ".") continue;
        const int next = openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int e = errno;
        close(fd);
        errno = e;
        fd = next;
    }
    return fd;
}

bool dialog_page_run(const char* title, const char* filter, bool save, std::string* path) {
    std::snprintf(title_text, sizeof title_text, "%s", title);
    dlg.filter = filter;
    dlg.save = save;
    dlg.ok = false;
    name_text[0] = 0;
    dlg.pointer_held = mouse__left.load() != 0;
    dlg.last_key = key__press.load();
    char* cwd = getcwd(nullptr, 0);
    show_folder(cwd ? cwd : "/");
    std::free(cwd);
    // The dialog's objects share the status table (by object number) with the page that
    // opened it, and its end sets page_end: that page gets its statuses back, redraws whole
    // and runs on.
    const std::vector<STATUS> statuses(obj_stat, obj_stat + OBJ_STATUS_COUNT);
    dlg.running = true;
    Gopage(dialog_page);
    dlg.running = false;
    std::copy(statuses.begin(), statuses.end(), obj_stat);
    for (STATUS& s : obj_stat) s.vishold = 0;
    page_end = 0;
    if (dlg.ok) *path = dlg.chosen;
    return dlg.ok;
}
