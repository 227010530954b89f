#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/port_names.h"

namespace {

using Names = std::vector<std::string>;

// A /dev listing in directory order, with look-alikes that are not serial devices.
const Names dev = {"tty1",    "ttyS10",  "ttyUSB10", "ttyS2",  "ttyACM1", "ttyUSB2",
                   "ttyS0",   "ttyACM0", "ttyUSB",   "ttySx1", "null",    "ttyUSB0x",
                   "pts",     "ttyprintk"};

TEST(PortNames, DevicesAreNumberedUsbThenAcmThenSerialEachInNumericOrder) {
    EXPECT_EQ(order_serial_devices(dev),
              (Names{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyACM1",
                     "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10"}));
    EXPECT_EQ(resolve_port_name("COM1", {}, dev), "/dev/ttyUSB2");
    EXPECT_EQ(resolve_port_name("COM3", {}, dev), "/dev/ttyACM0");
    EXPECT_EQ(resolve_port_name("com7", {}, dev), "/dev/ttyS10");
    EXPECT_EQ(resolve_port_name("COM8", {}, dev), "");  // no eighth device
    EXPECT_EQ(resolve_port_name("COM1", {}, {}), "");
}

TEST(PortNames, ALinkInPortsWinsOverTheDevices) {
    const Names links = {"COM2", "COM12", "README"};
    EXPECT_EQ(resolve_port_name("COM2", links, dev), "ports/COM2");
    EXPECT_EQ(resolve_port_name("COM12", links, dev), "ports/COM12");
    EXPECT_EQ(resolve_port_name("COM1", links, dev), "/dev/ttyUSB2");
    // The link name is the canonical one whatever the spelling asked for.
    EXPECT_EQ(resolve_port_name("com02", links, dev), "ports/COM2");
}

TEST(PortNames, PathsAndOtherNamesPassThrough) {
    const Names links = {"COM1"};
    for (const char* name : {"/dev/ttyUSB0", "/tmp/ports/COM1", "COM", "COM0", "COM1x",
                             "XCOM1", "ttyUSB0", ""})
        EXPECT_EQ(resolve_port_name(name, links, dev), name) << name;
    EXPECT_EQ(com_port_number("COM15"), 15);
    EXPECT_EQ(com_port_number("COM+1"), 0);
    EXPECT_EQ(com_port_number("COM99999999999"), 0);
}

TEST(PortNames, ThePortsFolderIsTheStartDirectorysWhereverTheCurrentOneMoved) {
    namespace fs = std::filesystem;
    const fs::path cwd = fs::current_path(), start = fs::temp_directory_path() / ("ports." + std::to_string(getpid()));
    fs::create_directories(start / "ports");
    fs::create_symlink(start / "gone", start / "ports" / "COM3");  // dangling: still taken
    const std::string saved = MyDir;
    std::snprintf(MyDir, sizeof MyDir, "%s", start.c_str());
    fs::current_path(fs::temp_directory_path());
    const std::string path = port_device_path("COM3");
    fs::current_path(cwd);
    std::snprintf(MyDir, sizeof MyDir, "%s", saved.c_str());
    fs::remove_all(start);
    EXPECT_EQ(path, (start / "ports" / "COM3").string());
}

}  // namespace
