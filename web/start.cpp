// Turning the tablet panel on and off: the switch and code from valdora.ini and the command
// line (which switches the panel on for one run, never for good), a code made when there is none
// or a new one was asked for, the server started and its addresses written to valdora.log
// without the code (users paste the log where others read it).
#include "web/web.h"

#include "app/app.h"
#include "rmu/rmu.h"

#define WEB_INI "valdora.ini"

int web_start(int argc, char **argv) {
    int had_file = web_read_ini(WEB_INI) == 0;
    int args_ok = web_parse_args(argc, argv) == 0;
    if (!args_ok)
        log_event("web: a --web=PORT with a port outside 1 to 65535 was ignored");
    // Switched off and no new code asked for: nothing is made, written or started.
    if (!web_enabled && !web_renew_code)
        return 0;
    int renew = web_renew_code || !web_code_valid(web_code);
    if (renew && web_make_code(web_code) != 0) {
        log_event("web: no random source for an access code; the panel is off");
        return -1;
    }
    if ((renew || !had_file) && web_write_ini(WEB_INI) != 0)
        log_event("web: " WEB_INI " could not be written; the access code lasts this run only");
    if (!web_enabled)
        return 0;
    if (web_server_start(web_port) != 0) {
        log_event("web: the panel could not listen on port %d (in use?)", web_port);
        return -1;
    }
    request_push(); // the next picture is published even if nothing changed
    char hosts[WEB_HOSTS_MAX][16];
    int n = web_hosts(hosts, WEB_HOSTS_MAX);
    for (int i = 0; i < n; i++)
        log_event("web: the panel is at http://%s:%d/ (its access code: F2 in the window)",
                  hosts[i], web_port);
    return 0;
}

void web_stop(void) {
    web_server_stop();
}
