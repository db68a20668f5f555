// Windows: Allegro's windowed drivers repaint the window from their own surface when it is
// uncovered; the callback is told when the window becomes the active one again (restored from
// the task bar or clicked after being covered), so the program puts its picture up afresh.
#include "platform/platform.h"

void window_watch_exposure(void (*fn)(void)) {
    set_display_switch_callback(SWITCH_IN, fn);
}
