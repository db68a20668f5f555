// Windows: Allegro's windowed drivers repaint the window from their own surface when it is
// uncovered; the callback is told when the window becomes the active one again (restored from
// the task bar or clicked after being covered), so the program puts its picture up afresh.
// A drawing reaches the window through the window's own thread; a message wakes that thread,
// which otherwise sleeps until the next input and may leave the window a picture behind.
#include "platform/platform.h"

void window_watch_exposure(void (*fn)(void)) {
    set_display_switch_callback(SWITCH_IN, fn);
}

void window_show_drawing(void) {
    PostMessage(win_get_window(), WM_NULL, 0, 0);
}
