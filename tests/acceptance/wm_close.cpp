// Asks a window to close as a window manager's close button does (a WM_DELETE_WINDOW client
// message): the acceptance test runs without a window manager.   wm_close WINDOW-ID
#include <X11/Xlib.h>
#include <cstdlib>

int main(int argc, char** argv) {
    Display* display = argc == 2 ? XOpenDisplay(nullptr) : nullptr;
    if (!display) return 2;
    XEvent e{};
    e.xclient = {ClientMessage, 0, False, display, Window(std::strtoul(argv[1], nullptr, 0)),
                 XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, e.xclient.window, False, NoEventMask, &e);
    XCloseDisplay(display);
    return 0;
}
