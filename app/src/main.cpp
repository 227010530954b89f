// corvane: the analyser control program. The window shell runs the main routine in a
// thread of its own once the window exists, and the program's shutdown when it ends it
// (window closed, EXIT, the display lost).
#include "app/start.h"
#include "platform/input.h"
#include "platform/sdl_shell.h"

int main() {
    shell_set_shutdown(end_program);
    return WinMain(mainloop);
}
