// The window calls on X11: the desktop's colour depth, and the place and size of Allegro's
// own X window. Rectangles follow the Windows convention of an outer window that is the
// content plus a frame of 6 pixels across and a title bar and frame of 25 pixels down, in
// both directions, so a place that was read back and saved reopens at the same place.
#include <allegro.h>
// Allegro's X header brings in X11's own BOOL and BYTE types, which clash with the Windows
// ones of the platform header: give X11's another name here.
#define BOOL x11_BOOL
#define BYTE x11_BYTE
#include <xalleg.h>
#include <X11/Xatom.h>
#undef BOOL
#undef BYTE

#include "platform/platform.h"

#include <pthread.h>

// Frame and title bar added to the content size in the outer window size.
#define FRAME_ACROSS 6
#define FRAME_DOWN 25
// Assumed when no X display can be opened: the common true-colour depth.
#define FALLBACK_BITS_PER_PIXEL 32

struct platform_dc {
    int bits_per_pixel; // bits per pixel of the display's default depth
};

// The handle of our own window: the address of this tag, never dereferenced.
static char own_window_tag;

// Bits per pixel that the X server stores for a depth (24-bit visuals use 32).
static int bits_per_pixel_of(Display *display, int depth) {
    int count = 0;
    int bits = depth;
    XPixmapFormatValues *formats = XListPixmapFormats(display, &count);
    for (int i = 0; i < count; i++) {
        if (formats[i].depth == depth) {
            bits = formats[i].bits_per_pixel;
        }
    }
    if (formats) {
        XFree(formats);
    }
    return bits;
}

HDC GetDC(HWND hwnd) {
    static struct platform_dc desktop_dc;
    if (hwnd != NULL) {
        return NULL;
    }
    desktop_dc.bits_per_pixel = FALLBACK_BITS_PER_PIXEL;
    Display *display = XOpenDisplay(NULL);
    if (display) {
        desktop_dc.bits_per_pixel =
            bits_per_pixel_of(display, DefaultDepth(display, DefaultScreen(display)));
        XCloseDisplay(display);
    }
    return &desktop_dc;
}

int GetDeviceCaps(HDC dc, int index) {
    if (dc == NULL || index != BITSPIXEL) {
        return 0;
    }
    return dc->bits_per_pixel;
}

// The top-level window that the window manager sees: Allegro draws into a child of it.
static Window top_level_window(void) {
    return _xwin.wm_window != None ? _xwin.wm_window : _xwin.window;
}

HWND win_get_window(void) {
    if (_xwin.display == NULL || _xwin.window == None) {
        return NULL;
    }
    return (HWND)(void *)&own_window_tag;
}

// Left and top frame widths that a window manager reports for the window (0 without one).
static void frame_extents(Display *display, Window window, long *left, long *top) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char *data = NULL;
    *left = 0;
    *top = 0;
    Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", True);
    if (extents == None) {
        return;
    }
    if (XGetWindowProperty(display, window, extents, 0, 4, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != NULL && format == 32 && items == 4) {
        long *values = (long *)(void *)data;
        *left = values[0];
        *top = values[2];
    }
    if (data) {
        XFree(data);
    }
}

BOOL GetWindowRect(HWND hwnd, RECT *rect) {
    if (hwnd == NULL || hwnd != win_get_window() || rect == NULL) {
        return FALSE;
    }
    BOOL ok = FALSE;
    XLOCK();
    Display *display = _xwin.display;
    Window window = top_level_window();
    XWindowAttributes attributes;
    Window child;
    int root_x, root_y;
    if (XGetWindowAttributes(display, window, &attributes) &&
        XTranslateCoordinates(display, window, attributes.root, 0, 0, &root_x, &root_y, &child)) {
        long frame_left, frame_top;
        frame_extents(display, window, &frame_left, &frame_top);
        rect->left = root_x - attributes.border_width - frame_left;
        rect->top = root_y - attributes.border_width - frame_top;
        rect->right = rect->left + attributes.width + FRAME_ACROSS;
        rect->bottom = rect->top + attributes.height + FRAME_DOWN;
        ok = TRUE;
    }
    XUNLOCK();
    return ok;
}

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    (void)after;
    (void)flags;
    if (hwnd == NULL || hwnd != win_get_window()) {
        return FALSE;
    }
    int content_width = cx - FRAME_ACROSS;
    int content_height = cy - FRAME_DOWN;
    if (content_width < 1) {
        content_width = 1;
    }
    if (content_height < 1) {
        content_height = 1;
    }
    XLOCK();
    Display *display = _xwin.display;
    Window window = top_level_window();
    // The window is not resizable by the user: a window manager must take the new size as
    // both the least and the largest, and the place as one that the program chose.
    XSizeHints *hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PMinSize | PMaxSize | USPosition | USSize | PPosition | PSize;
        hints->x = x;
        hints->y = y;
        hints->width = hints->min_width = hints->max_width = content_width;
        hints->height = hints->min_height = hints->max_height = content_height;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    XMoveResizeWindow(display, window, x, y, (unsigned)content_width, (unsigned)content_height);
    if (_xwin.window != window) {
        XResizeWindow(display, _xwin.window, (unsigned)content_width, (unsigned)content_height);
    }
    XSync(display, False);
    XUNLOCK();
    return TRUE;
}

// Allegro repaints an exposed part of the window from its own copy of the screen, on its
// background thread; the callback is told after that repaint. The same repaint also runs on
// the program's thread after each of its own draws on the screen: those are not exposures.
static void (*allegro_redrawer)(int x, int y, int w, int h);
static void (*volatile exposure_callback)(void);
static pthread_t drawing_thread;

static void repaint_and_tell(int x, int y, int w, int h) {
    if (allegro_redrawer) {
        allegro_redrawer(x, y, w, h);
    }
    void (*fn)(void) = exposure_callback;
    if (fn && !pthread_equal(pthread_self(), drawing_thread)) {
        fn();
    }
}

// Allegro's own thread sends the drawing to the X server within a hundredth of a second.
void window_show_drawing(void) {}

void window_watch_exposure(void (*fn)(void)) {
    XLOCK();
    drawing_thread = pthread_self();
    exposure_callback = fn;
    if (_xwin_window_redrawer != repaint_and_tell) {
        allegro_redrawer = _xwin_window_redrawer;
        _xwin_window_redrawer = repaint_and_tell;
    }
    XUNLOCK();
}
