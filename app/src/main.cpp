// corvane: the analyser control program. The window shell runs the main routine in a
// thread of its own once the window exists.
#include "app/start.h"
#include "platform/sdl_shell.h"

int main() { return WinMain(mainloop); }
