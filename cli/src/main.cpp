// vna-cli: connect, calibrate, sweep and write Touchstone files from a terminal.
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) { return cli_main(argc, argv, stdin, stdout, stderr); }
