// The operator keys: screenshot and sweep export into the program's directory.
#include "app/operator_keys.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/display.h"
#include "platform/framebuffer.h"
#include "platform/input.h"
#include "vna/device.h"
#include "vna/user_input.h"

namespace {

// corvane-YYYYMMDD-HHMMSS in local time.
std::string stamp_name(std::time_t when) {
    std::tm t{};
    localtime_r(&when, &t);
    char name[48];
    std::snprintf(name, sizeof name, "corvane-%04d%02d%02d-%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return name;
}

// Gives the finished file `temp` the name `target` unless that exists.
bool rename_no_replace(const std::string& temp, const std::string& target) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    if (link(temp.c_str(), target.c_str()) != 0) return false;
    unlink(temp.c_str());
    return true;
}

// Writes a file through write(path) (0 on success, else errno set) under a temporary name
// in dir, then names it base.ext, or base-2.ext, base-3.ext ... when taken. The bare name,
// or empty with the reason in error.
std::string publish(const std::string& dir, const std::string& base, const char* ext,
                    const std::function<int(const char*)>& write, std::string& error) {
    const std::string folder = dir.empty() ? "." : dir;
    const std::string temp = folder + "/." + base + "." + std::to_string(getpid()) + ".tmp";
    if (write(temp.c_str()) != 0) {
        error = std::strerror(errno ? errno : EIO);
        unlink(temp.c_str());
        return {};
    }
    for (int n = 1; n < 1000; n++) {
        const std::string name = base + (n > 1 ? "-" + std::to_string(n) : "") + ext;
        if (rename_no_replace(temp, folder + "/" + name)) return name;
        if (errno != EEXIST) break;
    }
    error = std::strerror(errno);
    unlink(temp.c_str());
    return {};
}

int write_text(const char* path, const std::string& text) {
    int err = 0;
    if (vna_write_whole_file(path, text, err) == FileWrite::done) return 0;
    errno = err;
    return -1;
}

}  // namespace

OperatorKeyResult take_screenshot(const std::string& dir, std::time_t when) {
    std::string error;
    const std::string name = publish(
        dir, stamp_name(when), ".png", [](const char* path) { return fb_write_png(path, 0, 0, crtx, crty); }, error);
    if (name.empty()) return {{}, "Screenshot failed: " + error};
    return {name, "Screenshot " + name};
}

OperatorKeyResult export_sweep(const std::string& dir, std::time_t when) {
    auto sweep = std::make_unique<VnaSweep>();
    if (vna_last_sweep(*sweep) == 0) return {{}, "No completed sweep to export"};
    const std::string text =
        vna_touchstone_text(*sweep, true, "corvane", sweep->calibrated ? "applied" : "none");
    std::string error;
    const std::string name =
        publish(dir, stamp_name(when), ".s2p", [&](const char* path) { return write_text(path, text); }, error);
    if (name.empty()) return {{}, "Export failed: " + error};
    return {name, "Exported " + name};
}

void operator_keys_poll() {
    const uint16_t keys = take_function_keys();
    if (keys & function_key(SCREENSHOT_KEY)) vna_status.set(take_screenshot(MyDir).status.c_str());
    if (keys & function_key(EXPORT_KEY)) vna_status.set(export_sweep(MyDir).status.c_str());
}

void operator_keys_drop() { take_function_keys(); }
