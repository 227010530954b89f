#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/display.h"
#include "platform/program_dir.h"

namespace {

namespace fs = std::filesystem;

// A scratch tree: an installed prefix (inst/bin beside inst/share/corvane), a build tree
// without a share folder, a home, and a regular file where a folder is wanted.
struct Tree {
    fs::path root = fs::temp_directory_path() / ("program_dir." + std::to_string(getpid()));
    Tree() {
        fs::remove_all(root);
        fs::create_directories(root / "inst/bin");
        fs::create_directories(root / "inst/share/corvane");
        fs::create_directories(root / "build/app");
        fs::create_directories(root / "home");
        std::ofstream(root / "file") << "x";
    }
    ~Tree() { fs::remove_all(root); }
    std::string operator()(const std::string& rel) const { return rel.empty() ? root.string() : (root / rel).string(); }
};

TEST(ProgramDir, TheRuleByInstallStateAndEnvironment) {
    const Tree t;
    const std::string installed = t("inst/bin/corvane"), build = t("build/app/corvane");
    const std::string share = t("inst/share/corvane"), home = t("home"), own = t("own"), xdg = t("xdg"),
                      file = t("file");
    const std::string long_name(200, 'x');
    struct Case {
        const char* what;
        std::string exe;
        const char *corvane_home, *xdg, *home;
        std::string dir, error;  // error: a part of the message
    };
    const Case cases[] = {
        {"installed: XDG default", installed, nullptr, nullptr, home.c_str(), home + "/.local/share/corvane", ""},
        {"installed: XDG_DATA_HOME", installed, nullptr, xdg.c_str(), home.c_str(), xdg + "/corvane", ""},
        {"installed: empty XDG_DATA_HOME", installed, nullptr, "", home.c_str(), home + "/.local/share/corvane", ""},
        {"installed: relative XDG_DATA_HOME", installed, nullptr, "data", home.c_str(),
         home + "/.local/share/corvane", ""},
        {"installed: CORVANE_HOME wins", installed, own.c_str(), xdg.c_str(), home.c_str(), own, ""},
        {"installed: CORVANE_HOME relative, trailing /", installed, "rel/own/", nullptr, home.c_str(),
         t("rel/own"), ""},
        {"installed: empty CORVANE_HOME", installed, "", nullptr, home.c_str(), home + "/.local/share/corvane", ""},
        {"installed: no HOME", installed, nullptr, nullptr, nullptr, "", "HOME is not set"},
        {"installed: relative HOME", installed, nullptr, nullptr, "home", "", "HOME is not set"},
        {"installed: HOME is a file", installed, nullptr, nullptr, file.c_str(), "", "cannot create"},
        {"installed: folder too long", installed, long_name.c_str(), nullptr, home.c_str(), "", "longer than"},
        {"build tree: the current directory", build, nullptr, xdg.c_str(), home.c_str(), t(""), ""},
        {"build tree: CORVANE_HOME", build, own.c_str(), nullptr, home.c_str(), own, ""},
        {"no executable path: the current directory", "", nullptr, nullptr, home.c_str(), t(""), ""},
    };
    for (const Case& c : cases) {
        fs::remove_all(t("home/.local"));
        ProgramDirEnv env{c.exe, t(""), c.corvane_home, c.xdg, c.home};
        const ProgramDir d = program_dir(env);
        EXPECT_EQ(d.dir, fs::path(c.dir).lexically_normal().string()) << c.what;
        EXPECT_EQ(d.share, c.exe == installed ? share : "") << c.what;
        if (c.error.empty())
            EXPECT_EQ(d.error, "") << c.what;
        else
            EXPECT_NE(d.error.find(c.error), std::string::npos) << c.what << ": " << d.error;
        // A chosen folder of its own is made with ports/; the build tree's is left alone.
        const bool own_folder = !d.dir.empty() && d.dir != t("");
        EXPECT_EQ(fs::is_directory(d.dir + "/ports"), own_folder) << c.what;
    }
}

TEST(ProgramDir, ABuildTreeTooDeepForMyDirKeepsWorkingRelative) {
    const std::string deep = "/" + std::string(250, 'd');
    const ProgramDir d = program_dir({"/nowhere/app/corvane", deep, nullptr, nullptr, "/home/x"});
    EXPECT_EQ(d.dir, "");
    EXPECT_EQ(d.error, "");
}

// The process's own environment decides MyDir; a folder that cannot be made empties it and
// says why instead of failing later.
TEST(ProgramDir, UseProgramDirSetsMyDirFromTheEnvironment) {
    const Tree t;
    const std::string saved = MyDir;
    const char* before = std::getenv("CORVANE_HOME");
    const std::string saved_home = before ? before : "";

    setenv("CORVANE_HOME", t("env").c_str(), 1);
    EXPECT_EQ(use_program_dir(), nullptr);
    EXPECT_EQ(std::string(MyDir), t("env"));
    EXPECT_TRUE(fs::is_directory(t("env/ports")));

    setenv("CORVANE_HOME", t("file/sub").c_str(), 1);
    const char* error = use_program_dir();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(std::string(error).rfind("corvane: cannot create " + t("file/sub/ports"), 0), 0u) << error;
    EXPECT_STREQ(MyDir, "");

    before ? setenv("CORVANE_HOME", saved_home.c_str(), 1) : unsetenv("CORVANE_HOME");
    std::snprintf(MyDir, sizeof MyDir, "%s", saved.c_str());
}

}  // namespace
