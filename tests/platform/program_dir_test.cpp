// The program's directory and share folder by install state and environment, the names of
// the serial ports in it and on the machine, and the headless mode's PNG writer.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/display.h"
#include "platform/port_names.h"
#include "platform/program_dir.h"
#include "support/framebuffer_helpers.h"
#include "support/scratch_dir.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb/stb_image.h>

namespace {

namespace fs = std::filesystem;

TEST(ProgramDir, TheRuleByInstallStateAndEnvironmentAndUseProgramDir) {
    // An installed prefix (inst/bin beside inst/share/corvane), a build tree without a share
    // folder, a home, and a regular file where a folder is wanted.
    const ScratchDir t;
    for (const char* d : {"inst/bin", "inst/share/corvane", "build/app", "home"}) fs::create_directories(t(d));
    std::ofstream(t("file")) << "x";
    const std::string installed = t("inst/bin/corvane"), build = t("build/app/corvane"), home = t("home"),
                      own = t("own"), xdg = t("xdg"), dflt = home + "/.local/share/corvane";
    const std::string long_name(200, 'x');
    const char* h = home.c_str();
    // error: a part of the message
    struct Case { const char* what; std::string exe; const char *corvane_home, *xdg, *home; std::string dir, error; };
    const Case cases[] = {
        {"installed: XDG default", installed, nullptr, nullptr, h, dflt, ""},
        {"installed: XDG_DATA_HOME", installed, nullptr, xdg.c_str(), h, xdg + "/corvane", ""},
        {"installed: relative XDG_DATA_HOME", installed, nullptr, "data", h, dflt, ""},
        {"installed: CORVANE_HOME wins", installed, own.c_str(), xdg.c_str(), h, own, ""},
        {"installed: CORVANE_HOME relative, trailing /", installed, "rel/own/", nullptr, h, t("rel/own"), ""},
        {"installed: no HOME", installed, nullptr, nullptr, nullptr, "", "HOME is not set"},
        {"installed: folder too long", installed, long_name.c_str(), nullptr, h, "", "longer than"},
        {"build tree: the current directory", build, nullptr, xdg.c_str(), h, t(), ""},
        {"build tree: CORVANE_HOME", build, own.c_str(), nullptr, h, own, ""},
        {"no executable path: the current directory", "", nullptr, nullptr, h, t(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(t("home/.local"));
        const ProgramDir d = program_dir({c.exe, t(), c.corvane_home, c.xdg, c.home});
        // A chosen folder of its own is made with ports/; the build tree's is left alone.
        const bool error_as_expected = c.error.empty() ? d.error.empty() : d.error.find(c.error) != std::string::npos;
        const std::string share = c.exe == installed ? t("inst/share/corvane") : "";
        EXPECT_EQ(std::tuple(d.dir, d.share, error_as_expected, fs::is_directory(d.dir + "/ports")),
                  std::tuple(fs::path(c.dir).lexically_normal().string(), share, true, !c.dir.empty() && c.dir != t()))
            << d.error;
    }
    // A build tree too deep for MyDir keeps working relative to the current directory.
    const ProgramDir d =
        program_dir({"/nowhere/app/corvane", "/" + std::string(250, 'd'), nullptr, nullptr, "/home/x"});
    EXPECT_EQ(d.dir + d.error, "");
    // A folder that cannot be made empties MyDir and says why instead of failing later; that
    // the process's own environment decides MyDir is in the window's acceptance test.
    const InFolder keep(t(), t());
    const char* before = std::getenv("CORVANE_HOME");
    const std::string saved = before ? before : "";
    setenv("CORVANE_HOME", t("file/sub").c_str(), 1);
    const char* error = use_program_dir();
    const std::string message = error ? error : "";
    EXPECT_EQ(std::tuple(message.rfind("corvane: cannot create " + t("file/sub/ports"), 0), MyDir[0]),
              std::tuple(0u, '\0'));
    if (before)
        setenv("CORVANE_HOME", saved.c_str(), 1);
    else
        unsetenv("CORVANE_HOME");
}

using Names = std::vector<std::string>;

TEST(PortNames, LinksInTheStartDirectorysPortsThenDevicesUsbAcmSerialEachInNumericOrder) {
    // A /dev listing in directory order, with look-alikes that are not serial devices.
    const Names dev = {"tty1", "ttyS10", "ttyUSB10", "ttyS2", "ttyACM1", "ttyUSB2", "ttyS0",
                       "ttyACM0", "ttyUSB", "ttySx1", "null", "ttyUSB0x", "pts", "ttyprintk"};
    EXPECT_EQ(order_serial_devices(dev), (Names{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyACM1",
                                                "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10"}));
    const Names links = {"COM2", "COM12", "README"};
    const struct { const char* name; Names links, dev; std::string path; } cases[] = {
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
    EXPECT_EQ(std::tuple(com_port_number("COM15"), com_port_number("COM+1"), com_port_number("COM99999999999")),
              std::tuple(15, 0, 0));
    // The ports folder is the start directory's, wherever the current one moved.
    const ScratchDir start;
    fs::create_directories(start("ports"));
    fs::create_symlink(start("gone"), start("ports/COM3"));  // dangling: still taken
    const InFolder elsewhere(fs::temp_directory_path(), start());
    EXPECT_EQ(port_device_path("COM3"), start("ports/COM3"));
}

// A PNG holds the part of a rectangle inside the framebuffer (that a screenshot is the screen,
// pixel for pixel, is in the app's operator key tests). A write that fails (EFBIG: a full
// disk) leaves what was at the path as it was and no file of its own.
TEST(Headless, APngOfTheRectangleInsideTheFramebufferWrittenWholeOrNotAtAll) {
    const ScratchDir dir;
    headless_start();
    fb_fill_all(0);
    dx_surface[addr(1023, 2399)] = 0xFFFFFF;
    // 2000, 0: an empty rectangle
    EXPECT_EQ(std::tuple(fb_write_png(dir("corner.png").c_str(), 1020, 2396, 50, 50),
                         fb_write_png(dir("none.png").c_str(), 2000, 0, 10, 10)),
              std::tuple(0, -1));
    int w = 0, h = 0, n = 0;
    unsigned char* rgb = stbi_load(dir("corner.png").c_str(), &w, &h, &n, 3);
    EXPECT_EQ(std::tuple(w, h, rgb ? rgb[45] + rgb[46] + rgb[47] : 0), std::tuple(4, 4, 3 * 255));
    stbi_image_free(rgb);
    fs::remove(dir("corner.png"));
    std::ofstream(dir("kept.png")) << "keep";
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &limit);
    errno = 0;
    const int result = fb_write_png(dir("kept.png").c_str(), 0, 0, 1024, 600);
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(std::tuple(result, error), std::tuple(-1, EFBIG));
    EXPECT_EQ(std::tuple(slurp(dir("kept.png")), std::distance(fs::directory_iterator(dir()), {})),
              std::tuple("keep", 1)) << "a temporary file was left, or the kept file changed";
    // And a good write replaces the file.
    EXPECT_EQ((std::tuple{fb_write_png(dir("kept.png").c_str(), 0, 0, 8, 8), fs::file_size(dir("kept.png")) > 8}),
              std::tuple(0, true));
}

}  // namespace
