// vna-cli: the measurement core driven from a terminal. It posts the same command codes
// as the page, under the same busy rule, and waits for the device command task.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct CliOptions {
    std::string port = "COM1";
    double start_mhz = 1.0;
    double stop_mhz = 800.0;
    unsigned points = 401;
    bool slow = false;
    std::string load_cal;  // empty: none
    bool calibrate = false;
    std::string save_cal;
    unsigned sweeps = 1;
    std::string out;       // .s1p or .s2p; empty: none
    bool raw = false;
    bool help = false;
};

extern const char cli_usage[];

// Reads the command line (argv[0] is the program). False with a message on a usage error.
bool cli_parse(int argc, char** argv, CliOptions& options, std::string& error);

// Runs connect, calibration load, calibration, save, sweeps, output and disconnect.
// Prompts and status lines go to err, answers are read from in; progress draws a bar
// while a sweep runs. Returns the exit status: 0, or 1 when the measurement core reported
// a failure (its status text is then the last line on err) or the run was cut short.
int cli_run(const CliOptions& options, FILE* in, FILE* err, bool progress);

// The whole program: 2 with the usage text for a usage error.
int cli_main(int argc, char** argv, FILE* in, FILE* out, FILE* err);

// The Touchstone text of the last sweep: one port (S11) or two (S11, S21, S12 and S22
// written as 0), corrected values or, with raw, the uncorrected ones.
std::string cli_touchstone(bool two_port, bool raw);
