// The main thread's turn with the touches: each touch becomes the key it stands for and goes
// through the keyboard's own handling (the key's action, then a read and a redraw, as the main
// loop does for a typed key). Touches come as keys come: the next one only if it arrived during
// the last one's handling, so a held knob accelerates as a held key does while its steps pause,
// and steps at most once a pass where they do not (the simulator away); a closed window ends it.
#include "web/web.h"

#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

static void press(int code) {
    layout_refresh_position();
    rmu_key_action(code);
    if (connected == 1) // in the wait for the simulator there is nothing to read
        rmu_fsuipc_read();
    rmu_display();
}

void web_step(void) {
    if (!web_running)
        return;
    web_msg m;
    while (loop == 1 && web_queue_take(GetTickCount(), &m)) {
        if (m.kind == WEB_MSG_KEY) {
            press(m.arg);
        } else if (m.kind == WEB_MSG_STANDBY && m.arg == rmu_edit && m.arg <= 4) {
            press(RMU_KEY_S); // the standby row of the COM or NAV being edited: swap
        } else {
            // Another radio's window: the next-radio key until it is the one edited.
            for (int i = 0; i < 6 && rmu_edit != m.arg; i++)
                press(RMU_KEY_T);
        }
        if (connected != 1)
            break; // nothing pauses while the simulator is away: one touch a pass
    }
}
