// The profiles folder: every "*.toml" file read in name order, bad ones reported in valdora.log
// with file and line and left out, and the choice of the profile for the aircraft loaded.
#include "aircraft/aircraft.h"
#include "app/app.h"

#include <ctype.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#define PROFILE_FILES_SEEN 4096 // file names looked at in the folder (the rest are reported)

aircraft_profile_t aircraft_profiles[PROFILE_MAX];
int aircraft_profile_count = 0;
char aircraft_profile_errors[2048];

static char fold(char c) {
    return c == '\\' ? '/' : (char)tolower((unsigned char)c);
}

// The pattern is found anywhere in text: '*' takes any run of characters. One pass with a
// single point to fall back to (the last star, as if the pattern began with one), so a pattern
// full of stars against a long title costs at most pattern x title steps, never the
// exponential search that trying every split of every star would make the pass wait on.
int profile_pattern_found(const char *pattern, const char *text) {
    const char *p = pattern, *t = text;
    const char *star = pattern, *mark = text; // after the last star, and where it resumes
    while (*t != '\0') {
        if (*p == '*') {
            while (*p == '*')
                p++;
            star = p;
            mark = t;
            continue;
        }
        if (*p == '\0')
            return 1; // the whole pattern found; the rest of the text is free
        if (fold(*p) == fold(*t)) {
            p++;
            t++;
            continue;
        }
        p = star; // mismatch: the last star takes one character more
        t = ++mark;
    }
    while (*p == '*')
        p++;
    return *p == '\0';
}

int profile_choose(const char *title, const char *path, char *rule, size_t rule_size) {
    for (int i = 0; i < aircraft_profile_count; i++) {
        const aircraft_profile_t *p = &aircraft_profiles[i];
        for (int j = 0; j < p->rule_count; j++) {
            const char *text = p->rules[j].on == 'p' ? path : title;
            if (profile_pattern_found(p->rules[j].pattern, text)) {
                snprintf(rule, rule_size, "%s \"%s\" in %s",
                         p->rules[j].on == 'p' ? "path" : "title", p->rules[j].pattern, p->file);
                return i;
            }
        }
    }
    snprintf(rule, rule_size, "no profile matches");
    return -1;
}

int aircraft_logging = 1;

// A bad file goes to valdora.log once, not at every change of aircraft: each load keeps a
// fingerprint of every message with the bytes of the file it is about, and a message is logged
// only when the load before had no such fingerprint, that is when the file is new or changed.
#define PROFILE_REPORTS (PROFILE_FILES_SEEN + 2)
static uint64_t fingerprints[2][PROFILE_REPORTS]; // the last load's and this load's
static int fingerprint_count[2], this_load;

static uint64_t fingerprint(const char *message, const char *bytes, size_t size) {
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (const char *c = message; *c != '\0'; c++)
        h = (h ^ (unsigned char)*c) * 1099511628211ull;
    for (size_t i = 0; i < size; i++)
        h = (h ^ (unsigned char)bytes[i]) * 1099511628211ull;
    return h;
}

// Reports a message about a file whose bytes are given (none for a message about no file's
// content): always in the load's messages, in valdora.log only when it is new.
static void report_on(const char *message, const char *bytes, size_t size) {
    uint64_t h = fingerprint(message, bytes, size);
    int seen = 0, last = 1 - this_load;
    for (int i = 0; i < fingerprint_count[last] && !seen; i++)
        seen = fingerprints[last][i] == h;
    if (fingerprint_count[this_load] < PROFILE_REPORTS)
        fingerprints[this_load][fingerprint_count[this_load]++] = h;
    if (aircraft_logging && !seen)
        log_event("profile %s", message);
    size_t used = strlen(aircraft_profile_errors);
    snprintf(aircraft_profile_errors + used, sizeof aircraft_profile_errors - used, "%s\n",
             message);
}

static void report(const char *message) {
    report_on(message, NULL, 0);
}

static int by_name(const void *a, const void *b) {
    return strcmp(*(char *const *)a, *(char *const *)b);
}

static int is_profile_name(const char *name) {
    size_t n = strlen(name);
    return name[0] != '.' && n > 5 && n < PROFILE_TEXT && strcmp(name + n - 5, ".toml") == 0;
}

static int left_out; // good profiles found after the places were full

// Reads one file into the next free place; a bad one leaves the place free.
static void load_file(const char *folder, const char *name) {
    static char text[PROFILE_FILE_MAX + 1];
    static aircraft_profile_t scratch;
    char path[PROFILE_TEXT * 2 + 2], message[320];
    snprintf(path, sizeof path, "%s/%s", folder, name);
    // Only a plain file: opening a pipe (or a device) named like a profile would hold the pass
    // until something wrote to it.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        snprintf(message, sizeof message, "%s: not a plain file", name);
        report(message);
        return;
    }
    FILE *f = fopen(path, "rb");
    if (f == NULL) {
        snprintf(message, sizeof message, "%s: cannot be opened", name);
        report(message);
        return;
    }
    size_t size = fread(text, 1, sizeof text, f);
    fclose(f);
    if (profile_parse(text, size, name, &scratch, message, sizeof message) != 0) {
        report_on(message, text, size);
        return;
    }
    if (aircraft_profile_count >= PROFILE_MAX) {
        left_out++;
        return;
    }
    aircraft_profiles[aircraft_profile_count++] = scratch;
}

int aircraft_load_profiles(const char *folder) {
    aircraft_profile_count = 0;
    aircraft_profile_errors[0] = '\0';
    this_load = 1 - this_load;
    fingerprint_count[this_load] = 0;
    DIR *dir = opendir(folder);
    if (dir == NULL)
        return 0;
    static char *names[PROFILE_FILES_SEEN];
    int count = 0, more = 0;
    for (struct dirent *e; (e = readdir(dir)) != NULL;) {
        if (!is_profile_name(e->d_name))
            continue;
        if (count == PROFILE_FILES_SEEN) {
            more = 1;
            continue;
        }
        names[count] = strdup(e->d_name);
        if (names[count] != NULL)
            count++;
    }
    closedir(dir);
    qsort(names, (size_t)count, sizeof names[0], by_name);
    left_out = 0;
    for (int i = 0; i < count; i++) {
        load_file(folder, names[i]);
        free(names[i]);
    }
    if (left_out > 0) {
        char message[96];
        snprintf(message, sizeof message, "%d profiles after the first %d left out", left_out,
                 PROFILE_MAX);
        report(message);
    }
    if (more) {
        char message[96];
        snprintf(message, sizeof message, "more than %d files in %s: the rest are not read",
                 PROFILE_FILES_SEEN, folder);
        report(message);
    }
    return aircraft_profile_count;
}
