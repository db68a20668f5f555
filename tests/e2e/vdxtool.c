// Small X11 helper for the end-to-end tests:
//   vdxtool close WINDOW      asks the window to close as a window manager's close button does
//                             (WM_DELETE_WINDOW), where xdotool would destroy it
//   vdxtool pixel WINDOW X Y  prints the colour at X, Y of the window as RRGGBB
// WINDOW is a decimal or 0x-prefixed window id. Exit status 0 on success.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int close_window(Display *display, Window window) {
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    int sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return sent ? 0 : 1;
}

static int print_pixel(Display *display, Window window, int x, int y) {
    XImage *image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == NULL) {
        return 1;
    }
    XColor colour = {.pixel = XGetPixel(image, 0, 0)};
    XQueryColor(display, DefaultColormap(display, DefaultScreen(display)), &colour);
    printf("%02X%02X%02X\n", colour.red >> 8, colour.green >> 8, colour.blue >> 8);
    XDestroyImage(image);
    return 0;
}

int main(int argc, char **argv) {
    Display *display = argc >= 3 ? XOpenDisplay(NULL) : NULL;
    if (display == NULL) {
        fprintf(stderr, "usage: vdxtool close WINDOW | pixel WINDOW X Y (with a display)\n");
        return 2;
    }
    Window window = (Window)strtoul(argv[2], NULL, 0);
    int result = 2;
    if (strcmp(argv[1], "close") == 0) {
        result = close_window(display, window);
    } else if (strcmp(argv[1], "pixel") == 0 && argc == 5) {
        result = print_pixel(display, window, atoi(argv[3]), atoi(argv[4]));
    }
    XCloseDisplay(display);
    return result;
}
