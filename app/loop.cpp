// One pass of the main loop: the radios, the boards, the lamps, the APU, the autostart and the
// keys, in the fixed order that ties every subsystem together.
#include "app/app.h"
#include "autostart/autostart.h"
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
    // 8. Each pending key: rmu_keypress takes one key (routing the layout keys to
    //    layout_keypress and emptying the rest of the buffer), then a read and a redraw;
    //    the tablet panel's touches first, through the same handling.
    web_step();
    while (keypressed()) {
        rmu_keypress();
        rmu_fsuipc_read();
        rmu_display();
    }
    // 9. Keys that arrived meanwhile are dropped.
    clear_keybuf();
    // 10. The background again after a layout change, then the RMU over it.
    if (update_bg == 1) {
        draw_background();
        update_bg = 0;
        rmu_display();
    }
    // 11. Keyboard acceleration lasts one pass.
    press_length = 0;
    // No wait of its own: the pace comes from the pauses inside the boards' polling pass
    // (step 3) and the simulator exchanges.
    return 0;
}
