// Reads one message of a browser: a touch on the panel in one or two characters. Anything else,
// however long or malformed, is understood as nothing.
//   k<letter>  an audio selector key: c v b n m k e a
//   r<1-6>     a tap on a radio's window        s<1-6>  a tap on a radio's standby row
//   h+ / h-    the knob held on its up / down half (repeated while held)
//   h0         the knob let go                  p       the page's heartbeat
#include "web/web.h"

#include "rmu/rmu.h"

#include <string.h>

// The audio selector keys a page may press, and their key codes.
static int selector_key(char c) {
    switch (c) {
    case 'c':
        return RMU_KEY_C;
    case 'v':
        return RMU_KEY_V;
    case 'b':
        return RMU_KEY_B;
    case 'n':
        return RMU_KEY_N;
    case 'm':
        return RMU_KEY_M;
    case 'k':
        return RMU_KEY_K;
    case 'e':
        return RMU_KEY_E;
    case 'a':
        return RMU_KEY_A;
    default:
        return 0;
    }
}

int web_parse_message(const char *data, size_t len, web_msg *msg) {
    msg->kind = WEB_MSG_NONE;
    msg->arg = 0;
    if (len == 1 && data[0] == 'p') {
        msg->kind = WEB_MSG_PING;
    } else if (len == 2 && data[0] == 'k' && selector_key(data[1]) != 0) {
        msg->kind = WEB_MSG_KEY;
        msg->arg = selector_key(data[1]);
    } else if (len == 2 && (data[0] == 'r' || data[0] == 's') && data[1] >= '1' && data[1] <= '6') {
        msg->kind = data[0] == 'r' ? WEB_MSG_RADIO : WEB_MSG_STANDBY;
        msg->arg = data[1] - '0';
    } else if (len == 2 && data[0] == 'h' && (data[1] == '+' || data[1] == '-')) {
        msg->kind = WEB_MSG_HOLD;
        msg->arg = data[1] == '+' ? RMU_KEY_STOP : RMU_KEY_COMMA;
    } else if (len == 2 && data[0] == 'h' && data[1] == '0') {
        msg->kind = WEB_MSG_RELEASE;
    }
    return msg->kind;
}
