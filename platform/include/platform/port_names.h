// From port names to device paths.
//
// The program names its ports "COMn". A name resolves, in this order, to:
//   1. the name as it stands when it is a path (begins with "/");
//   2. "ports/COMn" in the program's start directory (MyDir, platform/display.h; the
//      current directory while MyDir is empty, as in vna-cli and vna-sim) when that entry
//      exists: a symlink to a device or to a simulator's pseudo-terminal. A dangling
//      link still wins, so a vanished simulator gives an open error rather than a
//      silent switch to another device. The current directory may change later (the
//      file dialog moves it), the start directory does not;
//   3. the n-th serial device of the machine: /dev/ttyUSB*, then /dev/ttyACM*, each in
//      numeric order, then /dev/ttyS* in numeric order;
//   4. "" when there is no such device.
// Any other name is used as it stands.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// n of a name "COMn" ("com" in any case, n decimal and at least 1), else 0.
int com_port_number(std::string_view name);

// The serial devices among the entry names of /dev, as paths, in COM order.
std::vector<std::string> order_serial_devices(const std::vector<std::string>& dev_entries);

// Resolves name as above. links: the entry names found in the ports folder `ports`, which
// a link's result begins with; dev_entries: the entry names of /dev. Reads nothing itself.
std::string resolve_port_name(std::string_view name, const std::vector<std::string>& links,
                              const std::vector<std::string>& dev_entries,
                              const std::string& ports = "ports");

// resolve_port_name with the entries of the ports folder (MyDir + "/ports", or "ports"
// while MyDir is empty) and of /dev read now.
std::string port_device_path(std::string_view name);
