// The published picture: after each picture it draws, the main thread writes the drawing list
// as one message into a locked slot and wakes the server's thread, which sends it to every
// panel. The main thread only ever holds the lock for a copy, so no browser can slow it down.
#include "web/web.h"

#include "app/app.h"
#include "rmu/rmu.h"

#include <pthread.h>
#include <stdio.h>
#include <string.h>

static pthread_mutex_t slot_lock = PTHREAD_MUTEX_INITIALIZER;
static char slot[WEB_DRAWING_MAX];
static int slot_len = 0;
static unsigned slot_gen = 0; // pictures published so far

// The message: the panel's size and scale factors (as exact as the floats the window uses),
// the artwork set, then each piece: sheet, source rectangle, kind, design rectangle.
int web_format_drawing(char *out, size_t size) {
    int n = snprintf(out, size,
                     "{\"w\":%d,\"h\":%d,\"g\":%d,\"xs\":%.9g,\"ys\":%.9g,\"set\":%d,"
                     "\"ops\":[",
                     width, height, gap, (double)x_scale_factor, (double)y_scale_factor, blur);
    for (int i = 0; i < rmu_op_count && n > 0 && (size_t)n < size; i++) {
        const rmu_op *o = &rmu_ops[i];
        n += snprintf(out + n, size - (size_t)n, "%s[%d,%d,%d,%d,%d,%d,%d,%d,%d,%d]", i ? "," : "",
                      o->sheet, o->sx, o->sy, o->sw, o->sh, o->kind, o->dx, o->dy, o->dw, o->dh);
    }
    if (n < 0 || (size_t)n + 3 > size)
        return 0; // cannot happen with the drawing list's bound; nothing is better than half
    n += snprintf(out + n, size - (size_t)n, "]}");
    return n;
}

void web_publish(void) {
    static char text[WEB_DRAWING_MAX];
    int n = web_running ? web_format_drawing(text, sizeof text) : 0;
    if (n > 0) {
        pthread_mutex_lock(&slot_lock);
        memcpy(slot, text, (size_t)n);
        slot_len = n;
        slot_gen++;
        pthread_mutex_unlock(&slot_lock);
        web_server_wake(); // the server's thread sends it on at once
    }
    web_address_redraw();
}

int web_slot_take(unsigned *seen, char *out, size_t size) {
    int n = 0;
    pthread_mutex_lock(&slot_lock);
    if (slot_gen != *seen && slot_len > 0 && (size_t)slot_len <= size) {
        memcpy(out, slot, (size_t)slot_len);
        n = slot_len;
        *seen = slot_gen;
    }
    pthread_mutex_unlock(&slot_lock);
    return n;
}
