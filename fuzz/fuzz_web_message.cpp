// Fuzz target: what a browser sends the tablet panel. Any bytes, cut into messages at each
// newline, go through the message reader and the touch queue; only the radio keys may come out
// of the queue, and the access check must take the whole input as a URL query without a fault.
#include "rmu/rmu.h"
#include "web/web.h"

#include <set>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::set<int> allowed = {RMU_KEY_COMMA, RMU_KEY_STOP, RMU_KEY_C, RMU_KEY_V,
                                          RMU_KEY_B,     RMU_KEY_N,    RMU_KEY_M, RMU_KEY_K,
                                          RMU_KEY_E,     RMU_KEY_A};
    DWORD now = 0;
    for (size_t start = 0; start <= size;) {
        const uint8_t *end = (const uint8_t *)memchr(data + start, '\n', size - start);
        size_t len = end ? (size_t)(end - (data + start)) : size - start;
        web_msg m;
        if (web_parse_message((const char *)data + start, len, &m) != WEB_MSG_NONE)
            web_queue_put((int)(start % WEB_MAX_CONNS), &m, now); // pages in turn
        now += len * 37; // time moves on by the message, so holds renew and run out
        while (web_queue_take(now, &m)) {
            if (m.kind == WEB_MSG_KEY && !allowed.count(m.arg))
                abort();
            if ((m.kind == WEB_MSG_RADIO || m.kind == WEB_MSG_STANDBY) && (m.arg < 1 || m.arg > 6))
                abort();
            now += 5;
        }
        start += len + 1;
    }
    for (int page = 0; page < WEB_MAX_CONNS; page++)
        web_queue_release(page);
    char *query = (char *)malloc(size + 1);
    memcpy(query, data, size);
    query[size] = 0;
    strcpy(web_code, "abcdefghijkmnpqr");
    web_query_has_code(query);
    free(query);
    return 0;
}
