// The connection supervisor: the program's one answer to a missing or broken simulator link.
// Closes what is left of the link and reopens it every 100 ms, keeping the window drawn and
// the layout keys live, then announces the program in the title and in the simulator.
#include "simlink/simlink.h"

#include "app/app.h"
#include "rmu/rmu.h"
#include "web/web.h"

#include <string.h>

static char title_waiting[] = "Valdora V2.08 <<< Not Connected >>>";
static char title_connected[] = "Valdora V2.08 >>>   Connected   <<<";
static char announcement[] = "Valdora V2.08 Connected";

#define MESSAGE_TEXT_OFFSET 0x3380
#define MESSAGE_TIME_OFFSET 0x32FA

// Notes in the log which call lost the link and its result code (not at the first connect).
static void log_loss(void) {
    char call[64];
    FSUIPC_Last_Call(call, sizeof call);
    log_event("lost the simulator: %s failed, result %u", call, (unsigned)dwResult);
}

int connect_to_sim(void) {
    DWORD wait_start = GetTickCount();
    if (connected == 1)
        log_loss();
    connected = 0;
    electrics = 0;
    FSUIPC_Close();
    rmu_display(); // the link-down banner at once

    // One open attempt per pass; a closed window ends the wait after its last attempt.
    while (!FSUIPC_Open(0, &dwResult) && loop == 1) {
        set_window_title(title_waiting);
        Sleep(100);
        web_step(); // the tablet panel's touches, as keys
        while (keypressed()) {
            rmu_keypress();
            rmu_display();
        }
        clear_keybuf();
        if (update_bg == 1) {
            draw_background();
            update_bg = 0;
            rmu_display();
        }
    }
    if (dwResult == FSUIPC_ERR_OK)
        log_event("connect %s, server version 0x%08X, simulator type %u, after %u ms",
                  FSUIPC_Server_Class, (unsigned)FSUIPC_Version, (unsigned)FSUIPC_FS_Version,
                  (unsigned)(GetTickCount() - wait_start));
    connected = 1;

    // The announcement; a failure here is left for the caller's next exchange to find.
    if (loop == 1) {
        set_window_title(title_connected);
        if (FSUIPC_Write(MESSAGE_TEXT_OFFSET, (DWORD)strlen(announcement) + 1, announcement,
                         &dwResult) &&
            FSUIPC_Write(MESSAGE_TIME_OFFSET, 2, &message_wait_time, &dwResult))
            FSUIPC_Process(&dwResult);
    }
    return 0;
}
