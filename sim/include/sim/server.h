// The simulated analyser on a pseudo-terminal: the terminal in raw mode, an optional
// symlink to it (such as ports/COM1) and a control socket beside the link (PATH.ctl),
// control lines on standard input, the line rate and the injected faults.
//
// Control lines, each answered with one line, "ok" or "error: …":
//   dut DEVICE              the device under test (see parse_dut)
//   noise SIGMA           noise on b1 and b2, as a fraction of the incident wave
//   pace on|off           the 115200 baud line rate on what is sent
//   fault silent|none     stop answering / back to normal (also ends a pending drop)
//   fault garbage N       send N random bytes now
//   fault drop N          leave out the first N bytes of the next answer
//   fault unplug          close the terminal and remove the link, as a pulled USB plug
//   fault replug          a new terminal (and link) after an unplug; answers "ok PATH"
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device.h"
#include "sim/pacer.h"

namespace sim {

struct Options {
    std::string link;          // symlink to the terminal, with PATH.ctl beside it; empty: none
    std::string dut = "load";
    bool pace = true;
    double noise = 0;
    uint64_t seed = 1;
    double rate = 20000;       // points per second
    bool realistic = false;
    bool trace = false;        // host messages to standard error
    bool control_stdin = false;  // control lines on standard input, answers on standard output
};

class Server {
public:
    Server() = default;
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the terminal, the link and the control socket.
    bool start(const Options& options, std::string& error);
    // The terminal's path (read it before run, or from the run thread).
    const std::string& tty_path() const { return tty_path_; }
    std::string control_path() const { return options_.link.empty() ? std::string() : options_.link + ".ctl"; }

    // Serves until stop(); sleeps in poll whenever nothing is due.
    void run();
    // Ends run. Safe from any thread and from a signal handler.
    void stop();

    // Carries out one control line and gives its answer (run thread, or before run).
    std::string command(std::string_view line);

private:
    struct Client {
        int fd;
        std::string in;
    };

    bool open_terminal(std::string& error);
    void close_terminal();
    bool make_link(std::string& error);
    void remove_link();
    bool open_control(std::string& error);
    void flush_output(uint64_t now);
    void read_terminal(uint64_t now);
    void read_stdin();
    void read_client(size_t index);
    std::string run_command(std::string_view line);
    std::string fault(std::string_view what, std::string_view arg);

    Options options_;
    Device device_;
    Pacer pacer_;
    std::mt19937_64 garbage_rng_{2};
    std::string tty_path_;
    int master_ = -1, slave_ = -1;  // the slave is held open so the master never sees a hang-up
    int wake_[2] = {-1, -1};
    int listen_ = -1;
    bool stdin_open_ = false;
    std::string stdin_in_;
    std::vector<Client> clients_;
    bool blocked_ = false;  // the terminal took no more bytes; wait for POLLOUT
    std::atomic<bool> stop_{false};
};

// CLOCK_MONOTONIC in ns.
uint64_t monotonic_ns();

}  // namespace sim
