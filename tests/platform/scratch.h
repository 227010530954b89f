// Scratch folders and a temporarily changed program directory for the platform tests.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/display.h"

// A folder of its own under the temporary folder, made empty at the start and removed at
// the end; t("a/b") is a path inside it, t() the folder itself.
struct ScratchDir {
    std::filesystem::path root;
    explicit ScratchDir(const std::string& tag)
        : root(std::filesystem::temp_directory_path() / (tag + "." + std::to_string(getpid()))) {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    ~ScratchDir() { std::filesystem::remove_all(root); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator()(const std::string& rel = "") const {
        return rel.empty() ? root.string() : (root / rel).string();
    }
};

// Sets MyDir, the program's directory, until the guard goes out of scope.
class ScopedMyDir {
public:
    explicit ScopedMyDir(const std::string& dir) : saved_(MyDir) { set(dir); }
    ~ScopedMyDir() { set(saved_); }
    ScopedMyDir(const ScopedMyDir&) = delete;
    ScopedMyDir& operator=(const ScopedMyDir&) = delete;

private:
    static void set(const std::string& dir) { std::snprintf(MyDir, sizeof MyDir, "%s", dir.c_str()); }
    std::string saved_;
};
