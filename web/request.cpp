// Reads the head of one browser request: the request line, and of the headers only the three a
// WebSocket's opening needs. Nothing of a body is ever read; the server answers and closes.
#include "web/web.h"

#include <string.h>
#include <strings.h>

// 1 when a comma-separated header value holds word (any case).
static int has_word(const char *value, const char *word) {
    size_t n = strlen(word);
    for (const char *p = value; *p;) {
        p += strspn(p, " \t,");
        if (strncasecmp(p, word, n) == 0 && (p[n] == 0 || strchr(" \t,", p[n])))
            return 1;
        p += strcspn(p, ",");
    }
    return 0;
}

// Cuts the head into lines in place: the next line's start, or NULL after the last.
static char *cut_line(char *p) {
    char *end = p + strcspn(p, "\n");
    char *next = *end ? end + 1 : NULL;
    if (end > p && end[-1] == '\r')
        end--;
    *end = 0;
    return next;
}

int web_parse_request(char *head, web_request *req) {
    memset(req, 0, sizeof *req);
    req->query = "";
    char *lines = cut_line(head);
    char *target = strchr(head, ' ');
    if (!target)
        return -1;
    *target++ = 0;
    char *version = strchr(target, ' ');
    if (!version || strcmp(version + 1, "HTTP/1.1") != 0 || target[0] != '/')
        return -1;
    *version = 0;
    char *query = strchr(target, '?');
    if (query) {
        *query++ = 0;
        req->query = query;
    }
    req->method = head;
    req->path = target;
    int websocket = 0, v13 = 0;
    for (char *line = lines; line;) {
        char *next = cut_line(line);
        char *colon = strchr(line, ':');
        if (colon) {
            *colon = 0;
            char *value = colon + 1 + strspn(colon + 1, " \t");
            size_t len = strlen(value);
            while (len > 0 && (value[len - 1] == ' ' || value[len - 1] == '\t'))
                value[--len] = 0;
            if (strcasecmp(line, "Upgrade") == 0)
                websocket = has_word(value, "websocket");
            else if (strcasecmp(line, "Sec-WebSocket-Version") == 0)
                v13 = strcmp(value, "13") == 0;
            else if (strcasecmp(line, "Sec-WebSocket-Key") == 0)
                req->ws_key = len == 24 ? value : NULL;
        }
        line = next;
    }
    req->upgrade = websocket && v13 && req->ws_key;
    return 0;
}
