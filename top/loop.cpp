// One pass of the main loop: the radios, the boards, the lamps, the APU, the autostart and the
// keys, in the fixed order that ties every subsystem together; and the idle step that the pass
// and the wait for the simulator share.
#include "top/top.h"

#include "app/app.h"
#include "autostart/autostart.h"
#include "boards/boards.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "web/web.h"

int main_pass(void) {
    // 1. Read the radios.
    rmu_fsuipc_read();
    // 2. Draw the RMU.
    rmu_display();
    // 3. One polling pass over the boards, repeated at once while a held control
    //    stepped a value.
    while (k8055_inputs()) {
    }
    // 4. Read the lamp state.
    k8055_fsuipc_read(0);
    // 5. Refresh the lamp outputs when a watched value changed.
    k8055_outputs();
    // 6. APU spool value.
    apu_spool_step();
    // 7. Engine autostart.
    engine_autostart();
    // 8. to 10. The keys and the background.
    idle_step();
    // 11. Keyboard acceleration lasts one pass.
    press_length = 0;
    // No wait of its own: the pace comes from the pauses inside the boards' polling pass
    // (step 3) and the simulator exchanges.
    return 0;
}

int idle_step(void) {
    // The main thread is passing: the serial board's lamps are kept alive while it does.
    boards_pass();
    // The tablet panel's requests and touches, the touches as keys for the handling below.
    web_step();
    // Each pending key: rmu_keypress takes one key (routing the layout keys to layout_keypress
    // and emptying the rest of the buffer), then a read and a redraw. While the simulator is
    // away there is nothing to read: the wait keeps only the picture and the layout keys.
    while (keypressed()) {
        rmu_keypress();
        if (connected == 1)
            rmu_fsuipc_read();
        rmu_display();
    }
    // Keys that arrived meanwhile are dropped.
    clear_keybuf();
    // The background again after a layout change, then the RMU over it.
    if (update_bg == 1) {
        draw_background();
        update_bg = 0;
        rmu_display();
    }
    return 0;
}

int sim_wait_pass(void) {
    // The unit counts as unpowered until the simulator answers and the radios are read again;
    // the link-down banner (or whatever else changed), then the keys as in the main pass. The
    // wait is passing (a drawing may be slow on a busy machine: marked before it too).
    boards_pass();
    electrics = 0;
    rmu_display();
    return idle_step();
}
