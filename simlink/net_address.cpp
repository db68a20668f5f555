// Where the simulator is: the local interface (the default) or its WebSocket server on another
// machine, named as ws://HOST[:PORT] on the command line (--sim) or in valdora.ini (sim=).
#include "simlink/simlink.h"

#include <stdlib.h>
#include <string.h>

char sim_address[256] = "";

int sim_address_parse(const char *text, char *host, size_t host_size, int *port) {
    if (strncmp(text, "ws://", 5) != 0)
        return -1;
    const char *h = text + 5;
    size_t len = strcspn(h, ":/");
    if (len == 0 || len >= host_size)
        return -1;
    // A host name or address: letters, digits, dots and dashes only, so it can never carry
    // anything into the request line the upgrade sends.
    for (size_t i = 0; i < len; i++) {
        char c = h[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-'))
            return -1;
    }
    long p = SIM_NET_DEFAULT_PORT;
    const char *rest = h + len;
    if (*rest == ':') {
        char *end;
        if (rest[1] < '0' || rest[1] > '9')
            return -1;
        p = strtol(rest + 1, &end, 10);
        if (p < 1 || p > 65535)
            return -1;
        rest = end;
    }
    if (*rest == '/')
        rest++;
    if (*rest != 0)
        return -1;
    memcpy(host, h, len);
    host[len] = 0;
    *port = (int)p;
    return 0;
}

// Keeps text as the address when it is one; 0 or -1.
static int take(const char *text) {
    char host[sizeof sim_address];
    int port;
    if (sim_address_parse(text, host, sizeof host, &port) != 0 ||
        strlen(text) >= sizeof sim_address)
        return -1;
    strcpy(sim_address, text);
    return 0;
}

int sim_address_from_args(int argc, char **argv) {
    int result = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--sim") == 0 && i + 1 < argc)
            result |= take(argv[++i]);
        else if (strncmp(argv[i], "--sim=", 6) == 0)
            result |= take(argv[i] + 6);
        else if (strcmp(argv[i], "--sim") == 0)
            result = -1;
    }
    return result;
}

int sim_address_from_ini(const char *path) {
    FILE *f = fopen(path, "r");
    if (!f)
        return -1;
    char line[300];
    int result = -1;
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        if (strncmp(line, "sim=", 4) == 0)
            result = line[4] == 0 ? (sim_address[0] = 0, 0) : take(line + 4);
    }
    fclose(f);
    return result;
}
