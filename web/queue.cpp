// The touch queue between the server's threads and the main thread: touches wait here, in
// order, until the main thread's next pass takes them. A held knob is not queued over and over:
// it is one lease, renewed by each repeat of its message, that gives the main thread its key
// whenever it asks, as a held key's repeats keep the keyboard buffer filled.
#include "web/web.h"

#include <pthread.h>

static pthread_mutex_t queue_lock = PTHREAD_MUTEX_INITIALIZER;
static web_msg ring[WEB_QUEUE_SIZE];
static int ring_head = 0, ring_count = 0;
static int held_key = 0;             // the held knob's key code, 0 when not held
static DWORD held_since, held_until; // when the hold began, when its lease runs out

static int push(web_msg m) {
    if (ring_count == WEB_QUEUE_SIZE)
        return -1;
    ring[(ring_head + ring_count) % WEB_QUEUE_SIZE] = m;
    ring_count++;
    return 0;
}

int web_queue_put(const web_msg *msg, DWORD now) {
    int result = 0;
    pthread_mutex_lock(&queue_lock);
    switch (msg->kind) {
    case WEB_MSG_KEY:
    case WEB_MSG_RADIO:
    case WEB_MSG_STANDBY:
        result = push(*msg);
        break;
    case WEB_MSG_HOLD:
        // A new hold steps once at once, as the first press of a key does.
        if (held_key != msg->arg) {
            web_msg step = {WEB_MSG_KEY, msg->arg};
            result = push(step);
            held_key = msg->arg;
            held_since = now;
        }
        held_until = now + WEB_HOLD_LEASE;
        break;
    case WEB_MSG_RELEASE:
        held_key = 0;
        break;
    default:
        break;
    }
    pthread_mutex_unlock(&queue_lock);
    return result;
}

int web_queue_take(DWORD now, web_msg *msg) {
    int got = 0;
    pthread_mutex_lock(&queue_lock);
    if (ring_count > 0) {
        *msg = ring[ring_head];
        ring_head = (ring_head + 1) % WEB_QUEUE_SIZE;
        ring_count--;
        got = 1;
    } else if (held_key != 0 && (int)(now - held_until) >= 0) {
        held_key = 0; // the page stopped repeating: the link or the page is gone
    } else if (held_key != 0 && now - held_since >= WEB_REPEAT_DELAY) {
        msg->kind = WEB_MSG_KEY;
        msg->arg = held_key;
        got = 1;
    }
    pthread_mutex_unlock(&queue_lock);
    return got;
}

void web_queue_release(void) {
    pthread_mutex_lock(&queue_lock);
    held_key = 0;
    pthread_mutex_unlock(&queue_lock);
}
