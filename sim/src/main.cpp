// vna-sim: the analyser on a pseudo-terminal. Prints the terminal's path on the first line
// of standard output and serves until SIGTERM or SIGINT.
#include <csignal>
#include <cstdio>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "sim/server.h"
#include "vna/user_input.h"

namespace {

sim::Server* running = nullptr;

extern "C" void on_signal(int)
{
    if (running) running->stop();
}

const char usage[] =
    "usage: vna-sim [--link PATH] [--dut DEVICE] [--no-pace] [--noise SIGMA] [--seed N]\n"
    "               [--rate POINTS_PER_S] [--realistic] [--trace]\n"
    "\n"
    "A two-port analyser on a pseudo-terminal; its path is the first line of output.\n"
    "  --link PATH      also make PATH a link to the terminal (e.g. ports/COM1), with a\n"
    "                   control socket at PATH.ctl\n"
    "  --dut DEVICE       device under test (default load): open, short, load, isolation,\n"
    "                   thru, r OHMS, c FARADS, l HENRIES, series R L C, parallel R L C\n"
    "                   (0 leaves an element out), file PATH (.s1p/.s2p seen through the\n"
    "                   test set), raw PATH (raw readings, served as they are). Values\n"
    "                   take SI suffixes: 10p, 100n, 2.2k\n"
    "  --no-pace        send at full speed instead of 115200 baud\n"
    "  --noise SIGMA    noise on the readings, as a fraction of the incident wave\n"
    "  --seed N         seed of the noise and garbage generators (default 1)\n"
    "  --rate N         points measured per second (default 20000, also 20k)\n"
    "  --realistic      add load match and non-ideal standards to the test set\n"
    "  --trace          print every host message to standard error\n"
    "\n"
    "Control lines on standard input and on PATH.ctl: dut DEVICE, noise SIGMA, pace on|off,\n"
    "fault silent|none, fault garbage N, fault drop N, fault unplug, fault replug.\n";

bool number(const char* text, double& v) { return sim::parse_value(text, v); }

}  // namespace

int main(int argc, char** argv)
{
    // Standard streams that were closed are opened on /dev/null, so that the terminal and
    // sockets opened later cannot take their numbers.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", O_RDWR) < 0) return 1;

    sim::Options options;
    options.control_stdin = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        double v = 0;
        if (a == "--link" && has_value) options.link = argv[++i];
        else if (a == "--dut" && has_value) options.dut = argv[++i];
        else if (a == "--no-pace") options.pace = false;
        else if (a == "--noise" && has_value && number(argv[++i], v) && v >= 0) options.noise = v;
        else if (a == "--seed" && has_value && number(argv[++i], v) && v >= 0 && v < 1.8e19)
            options.seed = uint64_t(v);
        else if (a == "--rate" && has_value && number(argv[++i], v) && v > 0) options.rate = v;
        else if (a == "--realistic") options.realistic = true;
        else if (a == "--trace") options.trace = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vna-sim: bad argument %s\n%s", vna_printable(argv[i]).c_str(), usage);
            return 2;
        }
    }

    sim::Server server;
    std::string error;
    if (!server.start(options, error)) {
        std::fprintf(stderr, "vna-sim: %s\n", error.c_str());
        return 1;
    }
    running = &server;
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Started in the background of an interactive shell, reading the terminal would stop
    // the simulator; ignored, such a read fails and standard input is no longer watched.
    signal(SIGTTIN, SIG_IGN);

    std::printf("%s\n", server.tty_path().c_str());
    std::fflush(stdout);
    server.run();
    running = nullptr;
    return 0;
}
