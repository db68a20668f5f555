// The WebSocket's wire format as the simulator link's client reads it: the opening's keys
// (base64, and the accept key a server answers a key with: SHA-1 of the key and the protocol's
// fixed suffix, shared with the tablet panel's server), and the header of a server's frame,
// judged before any of its payload is read so that no server can make the link take more room
// than its longest message.
#include "simlink/simlink.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

void sim_net_base64(const unsigned char *data, size_t len, char *out) {
    static const char b64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t o = 0;
    for (size_t i = 0; i < len; i += 3, o += 4) {
        uint32_t v = (uint32_t)data[i] << 16 | (uint32_t)(i + 1 < len ? data[i + 1] : 0) << 8 |
                     (i + 2 < len ? data[i + 2] : 0);
        out[o] = b64[v >> 18];
        out[o + 1] = b64[(v >> 12) & 63];
        out[o + 2] = i + 1 < len ? b64[(v >> 6) & 63] : '=';
        out[o + 3] = i + 2 < len ? b64[v & 63] : '=';
    }
    out[o] = 0;
}

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

void sim_net_ws_accept(const char *key, char out[29]) {
    static const char guid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char text[64 + sizeof guid], digest[20];
    size_t n = strnlen(key, 64);
    memcpy(text, key, n);
    memcpy(text + n, guid, sizeof guid - 1);
    sha1(text, n + sizeof guid - 1, digest);
    sim_net_base64(digest, 20, out);
}

int sim_net_frame_head(const unsigned char *buf, size_t len, size_t already, int in_message,
                       sim_net_frame *f, char *why, size_t why_size) {
    if (len < 2)
        return 0;
    f->opcode = buf[0] & 15;
    f->last = buf[0] >> 7;
    f->len = buf[1] & 127;
    const char *bad = NULL;
    if (buf[0] & 0x70)
        bad = "a frame with reserved bits set"; // no extension was agreed
    else if ((f->opcode > 2 && f->opcode < 8) || f->opcode > 10)
        bad = "a frame of a kind the protocol does not define";
    else if (buf[1] & 0x80)
        bad = "a masked frame"; // only a client masks
    else if (f->opcode >= 8 && !f->last)
        bad = "a control frame in fragments";
    else if (f->opcode >= 8 && f->len > 125)
        bad = "a control frame longer than 125 bytes";
    else if (f->opcode == 0 && !in_message)
        bad = "a continuation of no message";
    else if (f->opcode != 0 && f->opcode < 8 && in_message)
        bad = "a new message before the last one ended";
    if (bad) {
        snprintf(why, why_size, "%s", bad);
        return -1;
    }
    size_t head = f->len == 126 ? 4 : f->len == 127 ? 10 : 2;
    if (len < head)
        return 0;
    if (head > 2) {
        f->len = 0;
        for (size_t i = 2; i < head; i++)
            f->len = f->len << 8 | buf[i];
    }
    if (f->opcode < 8 &&
        (already > SIM_NET_MESSAGE_MAX || f->len > SIM_NET_MESSAGE_MAX - already)) {
        snprintf(why, why_size, "a message larger than %d bytes", SIM_NET_MESSAGE_MAX);
        return -1;
    }
    return (int)head;
}
