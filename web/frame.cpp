// The WebSocket's wire format as the panel uses it: the opening's accept key (SHA-1 and
// base64 of the browser's key), the header of a browser's frame, and the server's own frames.
// A browser's frames are checked on their header alone, so a frame no page of ours sends ends
// the link before a byte of its payload is read or any room is made for it.
#include "web/web.h"

#include <stdint.h>
#include <string.h>

static uint32_t rol(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

// SHA-1 of a short text (the key and the protocol's fixed suffix: under 120 bytes).
static void sha1(const unsigned char *data, size_t len, unsigned char out[20]) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    unsigned char msg[128] = {0};
    memcpy(msg, data, len);
    msg[len] = 0x80;
    size_t total = len + 9 <= 64 ? 64 : 128;
    uint64_t bits = (uint64_t)len * 8;
    for (int i = 0; i < 8; i++)
        msg[total - 1 - i] = (unsigned char)(bits >> (8 * i));
    for (size_t block = 0; block < total; block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; i++)
            w[i] = (uint32_t)msg[block + 4 * i] << 24 | (uint32_t)msg[block + 4 * i + 1] << 16 |
                   (uint32_t)msg[block + 4 * i + 2] << 8 | msg[block + 4 * i + 3];
        for (int i = 16; i < 80; i++)
            w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; i++) {
            uint32_t f, k;
            if (i < 20)
                f = (b & c) | (~b & d), k = 0x5A827999;
            else if (i < 40)
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (i < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else
                f = b ^ c ^ d, k = 0xCA62C1D6;
            uint32_t t = rol(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rol(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    for (int i = 0; i < 20; i++)
        out[i] = (unsigned char)(h[i / 4] >> (24 - 8 * (i % 4)));
}

void web_ws_accept(const char *key, char out[29]) {
    static const char guid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    static const char b64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    unsigned char text[64 + sizeof guid], digest[21] = {0};
    size_t n = strnlen(key, 64);
    memcpy(text, key, n);
    memcpy(text + n, guid, sizeof guid - 1);
    sha1(text, n + sizeof guid - 1, digest);
    for (int i = 0, o = 0; i < 21; i += 3, o += 4) { // 20 bytes: 27 characters and one '='
        uint32_t v = (uint32_t)digest[i] << 16 | (uint32_t)digest[i + 1] << 8 | digest[i + 2];
        out[o] = b64[v >> 18];
        out[o + 1] = b64[(v >> 12) & 63];
        out[o + 2] = b64[(v >> 6) & 63];
        out[o + 3] = i + 2 < 20 ? b64[v & 63] : '=';
    }
    out[28] = 0;
}

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
