#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "platform/display.h"
#include "platform/port_names.h"

namespace {

// The number after prefix when entry is prefix followed by decimal digits only, else -1.
long device_number(const std::string& entry, std::string_view prefix) {
    if (entry.size() <= prefix.size() || entry.size() > prefix.size() + 9) return -1;
    if (std::string_view(entry).substr(0, prefix.size()) != prefix) return -1;
    long n = 0;
    for (size_t i = prefix.size(); i < entry.size(); i++) {
        if (!std::isdigit(static_cast<unsigned char>(entry[i]))) return -1;
        n = n * 10 + (entry[i] - '0');
    }
    return n;
}

std::vector<std::string> list_directory(const char* path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path);
    if (!dir) return names;
    while (dirent* e = readdir(dir)) names.emplace_back(e->d_name);
    closedir(dir);
    return names;
}

}  // namespace

int com_port_number(std::string_view name) {
    if (name.size() < 4 || name.size() > 12) return 0;
    for (size_t i = 0; i < 3; i++)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    int64_t n = 0;
    for (size_t i = 3; i < name.size(); i++) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        n = n * 10 + (name[i] - '0');
        if (n > 1000000) return 0;
    }
    return int(n);
}

std::vector<std::string> order_serial_devices(const std::vector<std::string>& dev_entries) {
    static constexpr std::string_view families[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<std::string> paths;
    for (std::string_view family : families) {
        std::vector<std::pair<long, const std::string*>> found;
        for (const std::string& e : dev_entries) {
            long n = device_number(e, family);
            if (n >= 0) found.emplace_back(n, &e);
        }
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& f : found) paths.push_back("/dev/" + *f.second);
    }
    return paths;
}

std::string resolve_port_name(std::string_view name, const std::vector<std::string>& links,
                              const std::vector<std::string>& dev_entries, const std::string& ports) {
    const int n = com_port_number(name);
    if (n == 0) return std::string(name);  // a path, or a name of some other form
    const std::string link = "COM" + std::to_string(n);
    if (std::find(links.begin(), links.end(), link) != links.end()) return ports + "/" + link;
    const std::vector<std::string> devices = order_serial_devices(dev_entries);
    if (size_t(n) <= devices.size()) return devices[size_t(n) - 1];
    return "";
}

std::string port_device_path(std::string_view name) {
    if (com_port_number(name) == 0) return std::string(name);
    const std::string ports = MyDir[0] ? std::string(MyDir) + "/ports" : "ports";
    return resolve_port_name(name, list_directory(ports.c_str()), list_directory("/dev"), ports);
}
