// The program's directory (MyDir, platform/display.h) and the share folder of an
// installed program.
//
// The program's directory holds the calibration files, ports/COMn and FONTS/. It is, by
// the first rule that applies:
//   1. CORVANE_HOME, when set and not empty (relative to the current directory);
//   2. for an installed program, one whose executable's folder has a sibling
//      share/corvane (<prefix>/bin/corvane beside <prefix>/share/corvane):
//      $XDG_DATA_HOME/corvane when XDG_DATA_HOME is an absolute path, else
//      $HOME/.local/share/corvane;
//   3. otherwise (a build tree) the current directory, as it stands.
// In cases 1 and 2 the folder and its ports/ are created when missing and must be
// writable. An installed program also finds its fonts in <share>/FONTS/ (gfx/ttf.h).
#pragma once

#include <string>

// What the rule looks at.
struct ProgramDirEnv {
    std::string exe;                      // the executable's path (/proc/self/exe)
    std::string cwd;                      // the current directory
    const char* corvane_home = nullptr;   // CORVANE_HOME, or null when unset
    const char* xdg_data_home = nullptr;  // XDG_DATA_HOME
    const char* home = nullptr;           // HOME
};

struct ProgramDir {
    std::string dir;    // the program's directory; "" in a build tree whose path does not fit MyDir
    std::string share;  // <prefix>/share/corvane of an installed executable, else ""
    std::string error;  // not empty when the folder cannot be used: why, for the user
};

// "<exe's folder>/../share/corvane", normalised, when that is a directory; else "".
std::string share_dir_of(const std::string& exe);

// Applies the rule to env; creates the folder and its ports/ in cases 1 and 2.
ProgramDir program_dir(const ProgramDirEnv& env);

// The share folder of this process's executable, found once; "" in a build tree.
const std::string& program_share_dir();

// Sets MyDir by the rule from this process's environment, executable and current
// directory. Returns null when done, else the reason the folder cannot be used (MyDir is
// then empty).
const char* use_program_dir();
