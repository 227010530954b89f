// The program's directory and share folder by install state and environment, and the
// names of the serial ports in it and on the machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/port_names.h"
#include "platform/program_dir.h"
#include "platform/scratch.h"

namespace {

namespace fs = std::filesystem;

// A scratch tree: an installed prefix (inst/bin beside inst/share/corvane), a build tree
// without a share folder, a home, and a regular file where a folder is wanted.
struct Tree : ScratchDir {
    Tree() : ScratchDir("program_dir") {
        for (const char* d : {"inst/bin", "inst/share/corvane", "build/app", "home"}) fs::create_directories(root / d);
        std::ofstream(root / "file") << "x";
    }
};

TEST(ProgramDir, TheRuleByInstallStateAndEnvironment) {
    const Tree t;
    const std::string installed = t("inst/bin/corvane"), build = t("build/app/corvane"), home = t("home"),
                      own = t("own"), xdg = t("xdg"), file = t("file"), dflt = home + "/.local/share/corvane";
    const std::string long_name(200, 'x');
    const char* h = home.c_str();
    const struct {
        const char* what;
        std::string exe;
        const char *corvane_home, *xdg, *home;
        std::string dir, error;  // error: a part of the message
    } cases[] = {
        {"installed: XDG default", installed, nullptr, nullptr, h, dflt, ""},
        {"installed: XDG_DATA_HOME", installed, nullptr, xdg.c_str(), h, xdg + "/corvane", ""},
        {"installed: empty XDG_DATA_HOME", installed, nullptr, "", h, dflt, ""},
        {"installed: relative XDG_DATA_HOME", installed, nullptr, "data", h, dflt, ""},
        {"installed: CORVANE_HOME wins", installed, own.c_str(), xdg.c_str(), h, own, ""},
        {"installed: CORVANE_HOME relative, trailing /", installed, "rel/own/", nullptr, h, t("rel/own"), ""},
        {"installed: no HOME", installed, nullptr, nullptr, nullptr, "", "HOME is not set"},
        {"installed: HOME is a file", installed, nullptr, nullptr, file.c_str(), "", "cannot create"},
        {"installed: folder too long", installed, long_name.c_str(), nullptr, h, "", "longer than"},
        {"build tree: the current directory", build, nullptr, xdg.c_str(), h, t(), ""},
        {"build tree: CORVANE_HOME", build, own.c_str(), nullptr, h, own, ""},
        {"no executable path: the current directory", "", nullptr, nullptr, h, t(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(t("home/.local"));
        const ProgramDir d = program_dir({c.exe, t(), c.corvane_home, c.xdg, c.home});
        EXPECT_EQ(d.dir, fs::path(c.dir).lexically_normal().string());
        EXPECT_EQ(d.share, c.exe == installed ? t("inst/share/corvane") : "");
        EXPECT_TRUE(c.error.empty() ? d.error.empty() : d.error.find(c.error) != std::string::npos) << d.error;
        // A chosen folder of its own is made with ports/; the build tree's is left alone.
        EXPECT_EQ(fs::is_directory(d.dir + "/ports"), !d.dir.empty() && d.dir != t());
    }
    // A build tree too deep for MyDir keeps working relative to the current directory.
    const ProgramDir d = program_dir({"/nowhere/app/corvane", "/" + std::string(250, 'd'), nullptr, nullptr, "/home/x"});
    EXPECT_EQ(d.dir + d.error, "");
}

// The process's own environment decides MyDir; a folder that cannot be made empties it and
// says why instead of failing later.
TEST(ProgramDir, UseProgramDirSetsMyDirFromTheEnvironment) {
    const Tree t;
    const ScopedMyDir keep(MyDir);
    const char* before = std::getenv("CORVANE_HOME");
    const std::string saved = before ? before : "";
    setenv("CORVANE_HOME", t("env").c_str(), 1);
    EXPECT_EQ(use_program_dir(), nullptr);
    EXPECT_EQ(std::string(MyDir), t("env"));
    EXPECT_TRUE(fs::is_directory(t("env/ports")));
    setenv("CORVANE_HOME", t("file/sub").c_str(), 1);
    const char* error = use_program_dir();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(std::string(error).rfind("corvane: cannot create " + t("file/sub/ports"), 0), 0u) << error;
    EXPECT_STREQ(MyDir, "");
    before ? setenv("CORVANE_HOME", saved.c_str(), 1) : unsetenv("CORVANE_HOME");
}

using Names = std::vector<std::string>;

TEST(PortNames, LinksInPortsThenDevicesUsbAcmSerialEachInNumericOrder) {
    // A /dev listing in directory order, with look-alikes that are not serial devices.
    const Names dev = {"tty1", "ttyS10", "ttyUSB10", "ttyS2", "ttyACM1", "ttyUSB2", "ttyS0",
                       "ttyACM0", "ttyUSB", "ttySx1", "null", "ttyUSB0x", "pts", "ttyprintk"};
    EXPECT_EQ(order_serial_devices(dev), (Names{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyACM1",
                                                "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10"}));
    const Names links = {"COM2", "COM12", "README"};
    const struct {
        const char* name;
        Names links, dev;
        std::string path;
    } cases[] = {
        {"COM1", {}, dev, "/dev/ttyUSB2"}, {"COM3", {}, dev, "/dev/ttyACM0"}, {"com7", {}, dev, "/dev/ttyS10"},
        {"COM8", {}, dev, ""},  // no eighth device
        {"COM1", {}, {}, ""},
        // A link in ports/ wins over the devices, and its name is the canonical one.
        {"COM2", links, dev, "ports/COM2"}, {"COM12", links, dev, "ports/COM12"}, {"com02", links, dev, "ports/COM2"},
        {"COM1", links, dev, "/dev/ttyUSB2"},
        // Paths and other names pass through.
        {"/dev/ttyUSB0", links, dev, "/dev/ttyUSB0"}, {"/tmp/ports/COM2", links, dev, "/tmp/ports/COM2"},
        {"COM", links, dev, "COM"}, {"COM0", links, dev, "COM0"}, {"COM2x", links, dev, "COM2x"},
        {"XCOM2", links, dev, "XCOM2"}, {"", links, dev, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(resolve_port_name(c.name, c.links, c.dev), c.path) << c.name;
    EXPECT_EQ(com_port_number("COM15"), 15);
    EXPECT_EQ(com_port_number("COM+1"), 0);
    EXPECT_EQ(com_port_number("COM99999999999"), 0);
}

TEST(PortNames, ThePortsFolderIsTheStartDirectorysWhereverTheCurrentOneMoved) {
    const ScratchDir start("ports");
    fs::create_directories(start("ports"));
    fs::create_symlink(start("gone"), start("ports/COM3"));  // dangling: still taken
    const ScopedMyDir in_start(start());
    const fs::path cwd = fs::current_path();
    fs::current_path(fs::temp_directory_path());
    const std::string path = port_device_path("COM3");
    fs::current_path(cwd);
    EXPECT_EQ(path, start("ports/COM3"));
}

}  // namespace
