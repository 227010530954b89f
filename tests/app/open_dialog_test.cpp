// The file dialog component on a page that embeds it: files chosen, refused and cancelled
// in the program's own dialog page (input scripted through its pass hook) and through a
// stand-in desktop chooser put first on PATH.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "app/dialog_page.h"
#include "app/open_dialog.h"
#include "app/style.h"
#include "forms/widgets.h"
#include "support/forms_driver.h"
#include "support/scratch_dir.h"
#include "vna/device.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// The page: the component and a button that runs Execute on the press, as the main page's
// file buttons do, lying where the dialog's Cancel button will be.
int32_t result;
constexpr DialogRect CANCEL = DIALOG_CANCEL_BUTTON, ROW = DIALOG_FIRST_ROW;
FORM_HEAD* page_ptr = nullptr;
const FORM_OBJECT page_table[] = {
    form_head(TPage, "page", sizeof(FORM_HEAD) + sizeof(OBJ*)).size(1024, 600).colours(PAGE_GREY, 0, 0),
    form_line(1, TPanel, "Dialog1", 0).at(316, 24).caption("object2")
        .component(&open_dialog_form, reinterpret_cast<void**>(&Dialog1)),
    form_line(1, TButton, "go", sizeof(FORM_HEAD)).at(CANCEL.x, CANCEL.y).size(60, 30)
        .enable().on_mousedown([] { result = Dialog1->Execute(); }),
};
const FORM page_form(page_table);

// The dialog page's input, one word a pass; a press or key is held for one pass and released
// on the next. Words: rowN, a button (ok cancel up down; bar: the scroll bar below its thumb),
// a key (enter esc), 'text (typed), rm:PATH.
std::istringstream words;
std::string typing;
int hold, idle_passes;
void run_script() {
    static const std::map<std::string, DialogRect> buttons = {
        {"ok", DIALOG_OK_BUTTON}, {"cancel", DIALOG_CANCEL_BUTTON}, {"up", DIALOG_SCROLL_UP},
        {"down", DIALOG_SCROLL_DOWN}, {"bar", {DIALOG_SCROLL_DOWN.x, DIALOG_SCROLL_DOWN.y - 20, 30, 20}}};
    std::string w;
    if (hold > 0) {
        if (--hold == 0) {
            mouse__left = 0;
            key__press = 0;
        }
    } else if (!typing.empty()) {
        key__press = uint8_t(typing[0]);
        typing.erase(0, 1);
        hold = 1;
    } else if (!(words >> w)) {
        if (++idle_passes > 50) page_end = 1;  // the dialog stayed open: ends it, and the test fails
    } else if (w.rfind("row", 0) == 0 || buttons.count(w)) {
        const int y = w[0] == 'r' ? ROW.y + std::stoi(&w[3]) * ROW.height : 0;
        const DialogRect r = y ? DialogRect{ROW.x + 39, y, 2, ROW.height} : buttons.at(w);
        mouse__x = r.centre_x();
        mouse__y = r.centre_y();
        mouse__left = 1;
        hold = 1;
    } else if (w == "enter" || w == "esc") {
        key__press = w == "enter" ? 13 : 27;
        hold = 1;
    } else if (w[0] == '\'') {
        typing = w.substr(1);
        run_script();
    } else {
        EXPECT_TRUE(w.rfind("rm:", 0) == 0 && fs::remove_all(w.substr(3))) << w;
    }
}

const char *const L = "   Load file", *const S = "   Save file";
const std::string name79 = std::string(75, 'x') + ".cal", name80 = std::string(76, 'y') + ".cal";
const std::string deep = std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');

// A run from a start folder and what it must leave: the result, FileName, the current
// folder (relative to the test's folder, or absolute; on failure the start folder) and the
// status line.
struct Flow {
    const char *title, *start;
    std::string words;
    int32_t result;
    std::string file = "", folder = "", status = "";
};

// Every test runs in a new temporary folder, with the builtin dialog unless it says otherwise.
class OpenDialogTest : public ::testing::Test, public FormDriver {
protected:
    const ScratchDir scratch;
    const std::string dir = scratch(), status = vna_status.text();
    fs::path home = fs::current_path();
    std::map<std::string, std::optional<std::string>> saved_env;

    void SetUp() override {
        for (const char* v : {"PATH", "DISPLAY", "WAYLAND_DISPLAY", "CORVANE_FILE_DIALOG"})
            saved_env[v] = std::getenv(v) ? std::optional<std::string>(std::getenv(v)) : std::nullopt;
        setenv("CORVANE_FILE_DIALOG", "builtin", 1);
        dialog_page_pass_hook = run_script;
        start([] { form_run(page_form, reinterpret_cast<void**>(&page_ptr)); },
              [] { form_release(page_form, reinterpret_cast<void**>(&page_ptr)); });
        pass();
        snprintf(Dialog1->FileType, sizeof Dialog1->FileType, "*.cal");
    }
    void TearDown() override {
        stop();
        OpenDialog = sys_gen_point0 = nullptr;  // the record is freed
        vna_status.set(status.c_str());
        dialog_page_pass_hook = nullptr;
        fs::current_path(home);
        for (auto& [v, value] : saved_env) {
            if (value)
                setenv(v.c_str(), value->c_str(), 1);
            else
                unsetenv(v.c_str());
        }
    }
    // A file, or a folder when the path ends with "/", under the test's folder.
    void make(const std::string& path) {
        fs::create_directories(fs::path(dir + "/" + path).parent_path());
        if (path.back() != '/') std::ofstream(dir + "/" + path) << "x";
    }
    // Runs Execute from "go" and checks what it left. The dialog opens with the press on "go"
    // held over its Cancel button for two passes (the first draws the dialog); that press
    // must click nothing. Then the page runs on and draws whole again, "go" included.
    void run(const Flow& f) {
        fs::current_path(dir + "/" + f.start);
        snprintf(Dialog1->Title, sizeof Dialog1->Title, "%s", f.title);
        snprintf(Dialog1->FileName, sizeof Dialog1->FileName, "old");
        vna_status.set("");
        words = std::istringstream(f.words);
        typing.clear();
        hold = 2;
        idle_passes = 0;
        result = -1;
        press(CANCEL.centre_x(), CANCEL.centre_y());
        pass();
        release();
        passes(2);
        const std::string folder = f.result ? f.folder : f.start;
        const fs::path want = folder.empty() ? fs::path(dir) : fs::path(dir) / folder;
        EXPECT_LE(idle_passes, 50) << f.words << ": the dialog stayed open";
        EXPECT_EQ(std::tuple(result, std::string(Dialog1->FileName), fs::current_path(), vna_status.text()),
                  std::tuple(f.result, f.result ? f.file : "", want, f.status))
            << f.title << " from " << f.start << ": " << f.words;
    }
};

TEST_F(OpenDialogTest, BuiltinDialogChoosesRefusesAndCancels) {
    for (const std::string& p : {"main/sub/my.cal"s, "main/sub/other.cal"s, "main/my.cal"s, "main/" + name79,
                                 "main/" + name80, "gone/sub/"s, deep + "/" + name80 + name80})
        make(p);
    for (const char* p : {"b.cal", "A.cal", "c.txt", ".hidden.cal", "D.CAL", "zdir/", "adir/", ".hdir/"})
        make("order/"s + p);
    for (int i = 0; i < 40; i++) make("many/f" + std::to_string(100 + i).substr(1) + ".cal");
    const Flow flows[] = {
        // main: "..", "sub/", "my.cal", name79, name80; main/sub: "..", "my.cal", "other.cal"
        {L, "main", "'/tmp/x.cal enter", 1, "x.cal", "/tmp"},  // a missing file is returned in load mode
        {L, "main", "'sub enter row2 ok", 1, "other.cal", "main/sub"},  // a typed folder is shown
        {L, "main", "'abc row2 ok", 1, "my.cal", "main"},               // a click replaces the typing
        {L, "main", "row3 ok", 1, name79, "main"},
        {L, "main", "row4 ok", 0, "", "", "File name too long"},
        {L, "main", "row1 cancel", 0},
        {L, "main", "ok esc", 0},       // OK without a name keeps the dialog open
        {S, "main", "row2 ok esc", 0},  // an existing file needs a second OK
        {S, "main", "row2 ok ok", 1, "my.cal", "main"},
        // a folder that vanished: listed, then unreadable with ".." alone; a click below it
        {L, "gone", "rm:sub row1 row1 'x.cal enter", 0, "", "", "Cannot enter the folder"},
        // order: "..", "adir/", "zdir/", "A.cal", "b.cal", "D.CAL" (hidden entries and c.txt left out)
        {L, "order", "row0 'q enter", 1, "q", ""},
        {L, "order", "row5 ok", 1, "D.CAL", "order"},
        // many: "..", f00 .. f39; 16 rows shown, a scroll moves 15
        {L, "many", "bar row0 ok", 1, "f14.cal", "many"},
        {L, "many", "down down down up row15 ok", 1, "f24.cal", "many"},  // the third down stays
        // a folder path of over 300 characters, entered row by row
        {L, "", "row1 row1 row1 row1 'x.cal enter", 1, "x.cal", deep},
    };
    for (const Flow& f : flows) run(f);
}

// The desktop chooser: a script that records its arguments, "|"-separated, and prints a path.
TEST_F(OpenDialogTest, DesktopChooserIsRunWithTheModeFilterAndStartFolder) {
    for (const std::string& p : {"main/sub/my.cal"s, "bin/"s}) make(p);
    for (const char* chooser : {"/bin/zenity", "/bin/kdialog"}) {
        std::ofstream(dir + chooser) << "#!/bin/sh\nIFS='|'\necho \"$(basename $0)|$*\" >$FAKE_ARGS\n"
                                        "echo \"$FAKE_PATH\"\n";
        fs::permissions(dir + chooser, fs::perms::owner_all);
    }
    setenv("PATH", (dir + "/bin:" + saved_env["PATH"].value_or("")).c_str(), 1);
    setenv("FAKE_ARGS", (dir + "/args").c_str(), 1);
    setenv("FAKE_PATH", (dir + "/main/sub/my.cal").c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    const std::string from = dir + "/main/";
    // The chooser forced and the display; the run (its words go to the dialog page, should
    // that run); the arguments the chooser got (empty: not run).
    struct Case { const char *force, *display; Flow run; std::string args; };
    const Case cases[] = {
        {"", ":9", {S, "main", "", 1, "my.cal", "main/sub"},
         "zenity|--file-selection|--title=Save file|--filename=" + from + "|--file-filter=*.cal|--save"
         "|--confirm-overwrite"},
        {"kdialog", "", {L, "main", "", 1, "my.cal", "main/sub"},
         "kdialog|--title|Load file|--getopenfilename|" + from + "|*.cal"},
    };
    for (const Case& c : cases) {
        fs::remove(dir + "/args");
        setenv("CORVANE_FILE_DIALOG", c.force, 1);
        if (c.display[0])
            setenv("DISPLAY", c.display, 1);
        else
            unsetenv("DISPLAY");
        run(c.run);
        std::string args;
        std::getline(std::ifstream(dir + "/args"), args);
        EXPECT_EQ(args, c.args) << c.force;
    }
}

}  // namespace
