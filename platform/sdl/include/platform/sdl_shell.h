// The window shell on SDL2. The process's main thread calls WinMain: it creates the window
// chosen by WindowName, runs the event loop, writes the input state, starts the main
// routine in its own thread (crt_exec) at the first size or paint event, and shows each
// frame that dx_refresh hands over, scaled to the client area, at most once per display
// frame and only where it changed (through the window's surface in system memory; no
// graphics processor). Closing the window ends the process with status 0; a window that
// cannot be made ends it with status 1 after saying why on standard error.
#pragma once

int WinMain(void (*mainloop)());
