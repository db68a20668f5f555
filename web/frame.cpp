// The WebSocket's wire format as the panel uses it: the header of a browser's frame, and the
// server's own frames (the opening's accept key is the simulator link's, shared).
// A browser's frames are checked on their header alone, so a frame no page of ours sends ends
// the link before a byte of its payload is read or any room is made for it.
#include "web/web.h"

#include <stdint.h>
#include <string.h>

int web_frame_read(const unsigned char *buf, size_t len, web_frame *f) {
    if (len < 1)
        return 0;
    f->opcode = buf[0] & 15;
    if ((buf[0] & 0x70) != 0)
        return -1; // reserved bits: no extension was agreed
    if (len < 2)
        return 0;
    if (!(buf[1] & 0x80))
        return -1; // a browser masks every frame
    f->len = buf[1] & 127;
    if (f->len > 125)
        return -1; // no frame of a page of ours needs a longer length
    if ((f->opcode == 0 || f->opcode == WEB_OP_TEXT) && f->len > WEB_MSG_MAX)
        return -1;
    if (f->opcode >= 3 && f->opcode <= 7)
        return -1; // opcodes the protocol does not define
    if (f->opcode > WEB_OP_PONG)
        return -1;
    f->head = 6;
    if (len < f->head)
        return 0;
    memcpy(f->mask, buf + 2, 4);
    return 1;
}

size_t web_frame_make(unsigned char *out, int opcode, const void *payload, size_t len) {
    size_t head;
    out[0] = (unsigned char)(0x80 | opcode);
    if (len < 126) {
        out[1] = (unsigned char)len;
        head = 2;
    } else {
        out[1] = 126; // every message of the server's is under 64 KiB
        out[2] = (unsigned char)(len >> 8);
        out[3] = (unsigned char)len;
        head = 4;
    }
    memcpy(out + head, payload, len);
    return head + len;
}
