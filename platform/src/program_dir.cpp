#include "platform/program_dir.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/display.h"

namespace fs = std::filesystem;

namespace {

// MyDir holds at most this many characters.
constexpr size_t max_dir = sizeof MyDir - 2;

bool set(const char* s) { return s && *s; }

// The per-user folder of an installed program, or "" with error set.
std::string user_data_dir(const ProgramDirEnv& env, std::string& error) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
    if (set(env.xdg_data_home) && env.xdg_data_home[0] == '/')
        return (fs::path(env.xdg_data_home) / "corvane").lexically_normal();
    if (!set(env.home) || env.home[0] != '/') {
        error = "HOME is not set to an absolute path (CORVANE_HOME chooses the program's folder)";
        return "";
    }
    return (fs::path(env.home) / ".local/share/corvane").lexically_normal();
}

// Creates dir and dir/ports when missing; "" when dir is a writable folder, else why not.
std::string prepare(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir / "ports", ec);
    std::string error;
    if (ec)
        error = "cannot create " + (dir / "ports").string() + ": " + ec.message();
    else if (access(dir.c_str(), W_OK) != 0)
        error = dir.string() + " is not writable: " + std::strerror(errno);
    return error.empty() ? "" : error + " (CORVANE_HOME chooses another folder)";
}

}  // namespace

std::string share_dir_of(const std::string& exe) {
    if (exe.empty()) return "";
    const fs::path share = (fs::path(exe).parent_path() / "../share/corvane").lexically_normal();
    std::error_code ec;
    return fs::is_directory(share, ec) ? share.string() : "";
}

ProgramDir program_dir(const ProgramDirEnv& env) {
    ProgramDir d;
    d.share = share_dir_of(env.exe);
    std::string dir;
    if (set(env.corvane_home))
        dir = (fs::path(env.cwd) / env.corvane_home).lexically_normal();
    else if (!d.share.empty())
        dir = user_data_dir(env, d.error);
    else {
        // The build tree: the current directory as before, or none when it does not fit.
        if (env.cwd.size() <= max_dir) d.dir = env.cwd;
        return d;
    }
    if (!d.error.empty()) return d;
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.size() > max_dir)
        d.error = "the program's folder " + dir + " is longer than " + std::to_string(max_dir) + " characters";
    else
        d.error = prepare(dir);
    if (d.error.empty()) d.dir = dir;
    return d;
}

namespace {

// This process's executable, read once.
const std::string& self_exe() {
    static const std::string exe = [] {
        std::error_code ec;
        const fs::path path = fs::read_symlink("/proc/self/exe", ec);
        return ec ? std::string() : path.string();
    }();
    return exe;
}

}  // namespace

const std::string& program_share_dir() {
    static const std::string share = share_dir_of(self_exe());
    return share;
}

const char* use_program_dir() {
    static std::string error;
    ProgramDirEnv env;
    std::error_code ec;
    env.exe = self_exe();
    env.cwd = fs::current_path(ec).string();
    env.corvane_home = std::getenv("CORVANE_HOME");
    env.xdg_data_home = std::getenv("XDG_DATA_HOME");
    env.home = std::getenv("HOME");
    const ProgramDir d = program_dir(env);
    MyDir[0] = 0;
    if (!d.error.empty()) {
        error = "corvane: " + d.error;
        return error.c_str();
    }
    std::snprintf(MyDir, sizeof MyDir, "%s", d.dir.c_str());
    return nullptr;
}
