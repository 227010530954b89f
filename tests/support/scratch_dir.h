// Folders and files for tests that write files: a fresh folder removed with everything in
// it, a guard that sets the current folder and the program's folder (MyDir) while it lives,
// and a file's whole contents.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/display.h"

// A fresh folder under /tmp; dir("a/b") is a path inside it, dir() the folder itself.
class ScratchDir {
public:
    ScratchDir() = default;
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator()(const std::string& rel = "") const { return rel.empty() ? path_ : path_ + "/" + rel; }

private:
    static std::string make() {
        std::string name = "/tmp/corvane-test-XXXXXX";
        if (!mkdtemp(name.data())) throw std::runtime_error("no temporary folder");
        return name;
    }
    std::string path_ = make();
};

// A file's whole contents ("" when it cannot be read).
inline std::string slurp(const std::string& path) {
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

// Runs in folder cwd with MyDir set to start ("" when the program has none); both are put
// back at the end.
class InFolder {
public:
    InFolder(const std::string& cwd, const std::string& start) {
        std::filesystem::current_path(cwd);
        set_start(start);
    }
    ~InFolder() {
        std::filesystem::current_path(old_cwd_);
        set_start(old_start_);
    }
private:
    static void set_start(const std::string& dir) { std::snprintf(MyDir, sizeof MyDir, "%s", dir.c_str()); }
    const std::filesystem::path old_cwd_ = std::filesystem::current_path();
    const std::string old_start_ = MyDir;
};
