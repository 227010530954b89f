// The file dialog component: its form (a panel that draws nothing) and Execute, which asks
// the desktop's file chooser or the program's own dialog page for a file and changes to
// its folder.
#include "app/open_dialog.h"

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/dialog_page.h"
#include "app/style.h"
#include "forms/widgets.h"
#include "vna/device.h"

TOpenDialog_Struct* Dialog1 = nullptr;
TOpenDialog_Struct* OpenDialog = nullptr;
TOpenDialog_Struct* sys_gen_point0 = nullptr;

namespace {

// Entering the component makes it the one Execute works on; a new record (never entered)
// gets its scale first.
void open_dialog_enter() {
    auto* d = reinterpret_cast<TOpenDialog_Struct*>(me);
    if (!d->Execute) d->Scala = 2.0f;
    d->Execute = OpenDialog_Execute;
    OpenDialog = sys_gen_point0 = d;
}

const FORM_OBJECT open_dialog_lines[] = {
    form_head(TPanel, "OpenDialog", sizeof(TOpenDialog_Struct)).colours(TRANSPARENT, BLACK, BLACK)
        .frame(FRAME_NONE).on_first(open_dialog_enter).on_entry(open_dialog_enter),
};

// ---- which chooser ----

struct Chooser {
    std::string name;  // "zenity", "kdialog", or empty for the dialog page
    std::string path;  // the program found on PATH, empty when there is none
};

bool env_set(const char* variable) {
    const char* v = std::getenv(variable);
    return v && v[0];
}

// The executable file `name` in a folder of PATH, or "".
std::string on_path(const std::string& name) {
    const char* p = std::getenv("PATH");
    for (std::string rest = p ? p : ""; !rest.empty();) {
        const size_t colon = rest.find(':');
        const std::string dir = rest.substr(0, colon);
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        const std::string file = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st;
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) return file;
    }
    return "";
}

// CORVANE_FILE_DIALOG names the chooser; otherwise zenity, then kdialog, when a display is
// there, else the dialog page.
Chooser pick_chooser() {
    const char* forced = std::getenv("CORVANE_FILE_DIALOG");
    const std::string f = forced ? forced : "";
    if (f == "builtin") return {};
    if (f == "zenity" || f == "kdialog") return {f, on_path(f)};
    if (!env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) return {};
    for (const char* name : {"zenity", "kdialog"})
        if (std::string path = on_path(name); !path.empty()) return {name, path};
    return {};
}

std::vector<std::string> chooser_arguments(const std::string& tool, const char* title, const char* filter,
                                           bool save) {
    char* cwd = getcwd(nullptr, 0);
    const std::string start = cwd ? std::string(cwd) + "/" : "";
    std::free(cwd);
    std::vector<std::string> a{tool};
    if (tool == "zenity") {
        a.insert(a.end(), {"--file-selection", std::string("--title=") + title});
        if (!start.empty()) a.push_back("--filename=" + start);
        if (filter[0]) a.push_back(std::string("--file-filter=") + filter);
        if (save) a.insert(a.end(), {"--save", "--confirm-overwrite"});
        return a;
    }
    a.insert(a.end(), {"--title", title, save ? "--getsavefilename" : "--getopenfilename"});
    a.push_back(start.empty() ? "." : start);
    if (filter[0]) a.push_back(filter);
    return a;
}

// Runs the program with its standard output on a pipe; true when it exited with status 0.
// Its first line of output goes to *out. Nothing else of this program's (serial port,
// sockets) stays open in it, and its standard input is empty.
bool run_chooser(const std::string& path, const std::vector<std::string>& args, std::string* out) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }
    std::string text;  // read to the end (a full pipe would block the chooser), kept up to 1 MiB
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0 && text.size() < (1u << 20)) text.append(buffer, size_t(n));
        if (n < 0 && errno != EINTR) break;
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    *out = text.substr(0, text.find('\n'));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- the choice ----

// Changes to the path's folder and keeps its bare name; refuses (0, with the reason on
// the status line) a name that FileName cannot hold whole and a folder it cannot enter.
int32_t take_choice(TOpenDialog_Struct* d, const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (name.empty()) {
        vna_status.set("No file name");
        return 0;
    }
    if (name.size() >= sizeof d->FileName) {
        vna_status.set("File name too long");
        return 0;
    }
    const int fd = open_folder(folder.c_str());
    const bool entered = fd >= 0 && fchdir(fd) == 0;
    if (fd >= 0) close(fd);
    if (!entered) {
        vna_status.set("Cannot enter the folder");
        return 0;
    }
    std::snprintf(d->FileName, sizeof d->FileName, "%s", name.c_str());
    return 1;
}

// A text field of the record, which may lack its terminating zero, as a string.
template <size_t N>
std::string field(const char (&s)[N]) {
    return std::string(s, strnlen(s, N));
}

}  // namespace

const FORM open_dialog_form(open_dialog_lines);

int32_t OpenDialog_Execute() {
    TOpenDialog_Struct* d = sys_gen_point0;
    if (!d) return 0;
    d->FileName[0] = 0;
    const std::string title_field = field(d->Title), filter = field(d->FileType);
    const std::string title = title_field.substr(std::min(title_field.find_first_not_of(' '), title_field.size()));
    const bool save = strncasecmp(title.c_str(), "save", 4) == 0;
    const Chooser chooser = pick_chooser();
    std::string path;
    bool chosen = false;
    if (chooser.name.empty()) {
        chosen = dialog_page_run(title.c_str(), filter.c_str(), save, &path);
    } else if (chooser.path.empty()) {
        vna_status.setf("%s not found", chooser.name.c_str());
    } else {
        chosen = run_chooser(chooser.path, chooser_arguments(chooser.name, title.c_str(), filter.c_str(), save), &path);
        chosen = chosen && !path.empty();
    }
    return chosen ? take_choice(d, path) : 0;
}
