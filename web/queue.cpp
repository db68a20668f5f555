// The touches between the server's thread and the main thread, kept as the keyboard keeps its
// keys: the first touch waiting is taken and any others that came meanwhile are dropped, as
// the keyboard's handling drops the keys typed during a step's pause, so taps never run ahead
// of the radio. A held knob is each page's own lease, renewed by each repeat of its message:
// its first step goes in as a key press does, then, after the repeat delay, a key is ready
// every repeat interval, as a held key's auto-repeat fills the keyboard buffer. The newest hold
// still held is the one that repeats.
#include "web/web.h"

#include <pthread.h>

static pthread_mutex_t queue_lock = PTHREAD_MUTEX_INITIALIZER;
static web_msg waiting; // the touch waiting for the main thread; kind WEB_MSG_NONE if none
static struct {         // each page's hold on the knob
    int key;            // the held half's key code, 0 when not held
    DWORD since, until; // when the hold began, when its lease runs out
    DWORD next_repeat;  // when its next repeat is due
    unsigned order;     // holds begun so far when this one began: the newest repeats
} holds[WEB_MAX_CONNS];
static unsigned holds_begun = 0;

static int put_waiting(web_msg m) {
    if (waiting.kind != WEB_MSG_NONE)
        return -1; // a touch already waits: this one is dropped, as a second typed key is
    waiting = m;
    return 0;
}

int web_queue_put(int page, const web_msg *msg, DWORD now) {
    if (page < 0 || page >= WEB_MAX_CONNS)
        return -1;
    int result = 0;
    pthread_mutex_lock(&queue_lock);
    switch (msg->kind) {
    case WEB_MSG_KEY:
    case WEB_MSG_RADIO:
    case WEB_MSG_STANDBY:
        result = put_waiting(*msg);
        break;
    case WEB_MSG_HOLD:
        // A new hold (or the other half) steps once at once, as the first press of a key does.
        if (holds[page].key != msg->arg) {
            web_msg step = {WEB_MSG_KEY, msg->arg};
            result = put_waiting(step);
            holds[page].key = msg->arg;
            holds[page].since = now;
            holds[page].next_repeat = now + WEB_REPEAT_DELAY;
            holds[page].order = ++holds_begun;
        }
        holds[page].until = now + WEB_HOLD_LEASE;
        break;
    case WEB_MSG_RELEASE:
        holds[page].key = 0;
        break;
    default:
        break;
    }
    pthread_mutex_unlock(&queue_lock);
    return result;
}

// The newest hold whose lease still runs; holds whose lease ran out are ended on the way.
static int repeating(DWORD now) {
    int best = -1;
    for (int i = 0; i < WEB_MAX_CONNS; i++) {
        if (holds[i].key == 0)
            continue;
        if ((int)(now - holds[i].until) >= 0)
            holds[i].key = 0; // the page stopped repeating: the link or the page is gone
        else if (best < 0 || (int)(holds[i].order - holds[best].order) > 0)
            best = i;
    }
    return best;
}

int web_queue_take(DWORD now, web_msg *msg) {
    int got = 0;
    pthread_mutex_lock(&queue_lock);
    int h = repeating(now);
    if (waiting.kind != WEB_MSG_NONE) {
        *msg = waiting;
        waiting.kind = WEB_MSG_NONE;
        got = 1;
    } else if (h >= 0 && (int)(now - holds[h].next_repeat) >= 0) {
        msg->kind = WEB_MSG_KEY;
        msg->arg = holds[h].key;
        got = 1;
    }
    // Repeats that fell due meanwhile are one key, as auto-repeats are once the buffer is read.
    if (got && h >= 0)
        while ((int)(now - holds[h].next_repeat) >= 0)
            holds[h].next_repeat += WEB_REPEAT_EVERY;
    pthread_mutex_unlock(&queue_lock);
    return got;
}

void web_queue_release(int page) {
    if (page < 0 || page >= WEB_MAX_CONNS)
        return;
    pthread_mutex_lock(&queue_lock);
    holds[page].key = 0;
    pthread_mutex_unlock(&queue_lock);
}
