// Which aircraft is loaded: its title and the path of its aircraft file are read inside the
// radios' exchange at most every half second, and a change chooses the profile afresh (the
// folder is read again, so an edited profile counts from the next change of aircraft).
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "simlink/simlink.h"

#include <string.h>

char aircraft_title[257], aircraft_path[257];
int aircraft_profile = -1;
char aircraft_rule[160] = "no profile matches";
int32_t aircraft_outputs_serial = 0;

static char title_received[256], path_received[256];
static int queued = 0;        // 1 while the identity reads ride in the exchange under way
static DWORD last_queued = 0; // when they last did
static int ever_queued = 0;

void aircraft_identity_queue(void) {
    DWORD now = GetTickCount();
    if (ever_queued && now - last_queued < AIRCRAFT_IDENTITY_MS)
        return;
    // A read that does not fit is tried again at the next exchange.
    if (!FSUIPC_Read(AIRCRAFT_TITLE_OFFSET, 256, title_received, &dwResult) ||
        !FSUIPC_Read(AIRCRAFT_PATH_OFFSET, 256, path_received, &dwResult))
        return;
    queued = 1;
    ever_queued = 1;
    last_queued = now;
}

// A received text up to its zero, at most 256 characters. A control character (a line break,
// a terminal's escape) becomes '?': the title goes into valdora.log and onto the probe's
// terminal, where it could forge a line or take over the screen.
static void take(char *to, const char *from) {
    memcpy(to, from, 256);
    to[256] = '\0';
    for (char *c = to; *c != '\0'; c++)
        if ((unsigned char)*c < 0x20 || *c == 0x7F)
            *c = '?';
}

void aircraft_identity_received(int ok) {
    if (!queued)
        return;
    queued = 0;
    if (!ok)
        return;
    char title[257], path[257];
    take(title, title_received);
    take(path, path_received);
    if (strcmp(title, aircraft_title) == 0 && strcmp(path, aircraft_path) == 0)
        return;
    memcpy(aircraft_title, title, sizeof title);
    memcpy(aircraft_path, path, sizeof path);
    aircraft_load_profiles(PROFILE_FOLDER);
    aircraft_profile =
        profile_choose(aircraft_title, aircraft_path, aircraft_rule, sizeof aircraft_rule);
    // Every lamp is driven afresh for the new aircraft, none left as the old one showed it.
    aircraft_outputs_serial++;
    if (aircraft_logging)
        log_event("aircraft \"%s\" at \"%s\": %s (%s)", aircraft_title, aircraft_path,
                  aircraft_profile < 0 ? "built-in" : aircraft_profiles[aircraft_profile].name,
                  aircraft_rule);
}
