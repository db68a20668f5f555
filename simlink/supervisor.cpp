// The connection supervisor: the program's one answer to a missing or broken simulator link.
// Closes what is left of the link and reopens it every 100 ms, keeping the window drawn and
// the layout keys live, then announces the program in the title and in the simulator.
#include "simlink/simlink.h"

#include "app/app.h"
#include "rmu/rmu.h"

#include <string.h>

static char title_waiting[] = "Valdora V2.08 <<< Not Connected >>>";
static char title_connected[] = "Valdora V2.08 >>>   Connected   <<<";
static char announcement[] = "Valdora V2.08 Connected";

#define MESSAGE_TEXT_OFFSET 0x3380
#define MESSAGE_TIME_OFFSET 0x32FA

int connect_to_sim(void) {
    connected = 0;
    electrics = 0;
    FSUIPC_Close();
    rmu_display(); // the link-down banner at once

    // One open attempt per pass; a closed window ends the wait after its last attempt.
    while (!FSUIPC_Open(0, &dwResult) && loop == 1) {
        set_window_title(title_waiting);
        Sleep(100);
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
