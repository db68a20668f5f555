// The tablet panel's switch, port and access code: kept in valdora.ini beside the program (so a
// tablet's bookmark keeps working across restarts), changed for one run on the command line.
// The file holds the code, so it is written readable by its owner alone.
#include "web/web.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

int web_enabled = 0;
int web_ini_enabled = 0;
int web_ini_port = WEB_DEFAULT_PORT;
int web_port = WEB_DEFAULT_PORT;
char web_code[WEB_CODE_LEN + 1] = "";
int web_renew_code = 0;

// 32 letters and digits that cannot be mistaken for one another when typed from the screen.
static const char code_alphabet[] = "abcdefghijkmnpqrstuvwxyz23456789";

int web_code_valid(const char *code) {
    if (strlen(code) != WEB_CODE_LEN)
        return 0;
    for (int i = 0; i < WEB_CODE_LEN; i++)
        if (strchr(code_alphabet, code[i]) == NULL)
            return 0;
    return 1;
}

int web_make_code(char *code) {
    unsigned char bytes[WEB_CODE_LEN];
    if (platform_random(bytes, sizeof bytes) != 0)
        return -1;
    for (int i = 0; i < WEB_CODE_LEN; i++)
        code[i] = code_alphabet[bytes[i] & 31];
    code[WEB_CODE_LEN] = 0;
    return 0;
}

// A port number of 1 to 65535 written in decimal, or -1.
static int parse_port(const char *text) {
    char *end;
    long port = strtol(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != 0 || port < 1 || port > 65535)
        return -1;
    return (int)port;
}

int web_read_ini(const char *path) {
    FILE *f = fopen(path, "r");
    if (!f)
        return -1;
    char line[128];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\r\n")] = 0;
        if (strncmp(line, "web=", 4) == 0)
            web_enabled = web_ini_enabled = strcmp(line + 4, "1") == 0;
        else if (strncmp(line, "port=", 5) == 0 && parse_port(line + 5) > 0)
            web_port = web_ini_port = parse_port(line + 5);
        else if (strncmp(line, "code=", 5) == 0 && web_code_valid(line + 5))
            memcpy(web_code, line + 5, WEB_CODE_LEN + 1);
    }
    fclose(f);
    return 0;
}

// The panel's own note at the head of the file, rewritten at every save.
static const char *const ini_note[] = {
    "# The tablet panel: web=1 serves it at every start, at the port below; the code",
    "# is the access code in its address (valdora --web-new-code makes a new one)."};

// Appends a line of the old file to `kept` unless it is the panel's own (a setting or its note).
static void keep_line(std::string &kept, std::string line) {
    std::string bare = line.substr(0, line.find_first_of("\r\n"));
    if (bare.rfind("web=", 0) == 0 || bare.rfind("port=", 0) == 0 || bare.rfind("code=", 0) == 0 ||
        bare == ini_note[0] || bare == ini_note[1])
        return;
    kept += line.back() == '\n' ? line : line + "\n";
}

int web_write_ini(const char *path) {
    // The file also holds other subsystems' lines (sim=, the simulator's address) and the
    // user's own notes: kept as they stand, however long, after the panel's own.
    std::string kept, line;
    FILE *f = fopen(path, "r");
    for (int c; f && (c = fgetc(f)) != EOF;) {
        line += (char)c;
        if (c == '\n')
            keep_line(kept, line), line.clear();
    }
    if (!line.empty())
        keep_line(kept, line);
    if (f)
        fclose(f);
    f = platform_private_file(path);
    if (!f)
        return -1;
    fprintf(f, "%s\n%s\nweb=%d\nport=%d\ncode=%s\n%s", ini_note[0], ini_note[1], web_ini_enabled,
            web_ini_port, web_code, kept.c_str());
    return fclose(f) == 0 ? 0 : -1;
}

int web_parse_args(int argc, char **argv) {
    int result = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--web") == 0) {
            web_enabled = 1;
        } else if (strncmp(argv[i], "--web=", 6) == 0) {
            int port = parse_port(argv[i] + 6);
            if (port < 0) {
                result = -1;
                continue;
            }
            web_enabled = 1;
            web_port = port;
        } else if (strcmp(argv[i], "--web-new-code") == 0) {
            web_renew_code = 1;
        }
    }
    return result;
}

int web_query_has_code(const char *query) {
    if (!query || !web_code_valid(web_code))
        return 0;
    for (const char *p = query; *p;) {
        size_t len = strcspn(p, "&");
        if (len == 5 + WEB_CODE_LEN && strncmp(p, "code=", 5) == 0) {
            // Every character compared whatever the first difference, so the time taken does
            // not tell how much of a guess was right.
            unsigned diff = 0;
            for (int i = 0; i < WEB_CODE_LEN; i++)
                diff |= (unsigned)(p[5 + i] ^ web_code[i]);
            if (diff == 0)
                return 1;
        }
        p += len;
        if (*p == '&')
            p++;
    }
    return 0;
}
