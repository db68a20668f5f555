// Small X11 helper for the end-to-end tests:
//   vdxtool close WINDOW   asks the window to close as a window manager's close button does
//                          (WM_DELETE_WINDOW), where xdotool would destroy it
// WINDOW is a decimal or 0x-prefixed window id. Exit status 0 on success.
#include <X11/Xlib.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
    Display *display = argc == 3 && strcmp(argv[1], "close") == 0 ? XOpenDisplay(NULL) : NULL;
    if (display == NULL)
        return 2;
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = (Window)strtoul(argv[2], NULL, 0);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    int sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent ? 0 : 1;
}
