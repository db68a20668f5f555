// Program entry: brings the program up in a fixed order, runs the one polling loop that ties
// every subsystem together until the window is closed, and takes the program down.
#include "top/top.h"

#include "app/app.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "web/web.h"

#include <errno.h>
#include <stdlib.h>

int main(int argc, char *argv[]) {

    // ---- Start-up ----
    // The wait for the simulator keeps the window drawn and the keys live with the main
    // pass's own idle step.
    sim_wait_hook = sim_wait_pass;
    // The tablet panel takes each picture drawn, and F2 (its address) before the RMU's keys.
    rmu_drawn_hook = web_publish;
    rmu_key_hook = web_take_key;
    // Each polling pass of the boards ends with the master warning and caution.
    k8055_pass_end_hook = k8055_warn_caution;

    // 1. Saved place, layout and calibration replace the defaults before anything else.
    load_ini_file();

    // 2. The desktop's colour depth, which the graphics mode will use.
    hdc = GetDC(NULL);
    screen_colour_depth = GetDeviceCaps(hdc, BITSPIXEL);

    // 3. Allegro, or end at once with 1 and no message.
    if (install_allegro(SYSTEM_AUTODETECT, &errno, atexit) != 0) {
        log_event("exit 1 (Allegro could not start)");
        return 1;
    }
    log_start();
    // Where the simulator is: valdora.ini's sim= line, then --sim; the local interface else.
    sim_address_from_ini("valdora.ini");
    if (sim_address_from_args(argc, argv) != 0)
        log_event("--sim: not an address of the form ws://HOST[:PORT], left out");
    if (sim_address[0])
        log_event("simulator: the network link to %s", sim_address);

    // 4. The keyboard.
    install_keyboard();

    // 5. Graphics mode, window place and size, close hook. Without any graphics mode Allegro
    //    has already shown its message: there is no screen to draw on, so end here.
    if (init_window() != 0) {
        close_program();
        log_event("exit -1 (no graphics mode)");
        return -1;
    }

    // 6. The artwork and the background; a missing file shows the error screen and ends.
    if (create_bitmaps() != 0) {
        show_artwork_error();
        close_program();
        log_event("exit -1 (artwork file missing)");
        return -1;
    }

    // 7. The background on the screen. Without memory for it there is nothing to draw
    //    into: end cleanly (so also for the work surface below).
    if (bg == NULL) {
        close_program();
        log_event("exit -1 (no memory for the background)");
        return -1;
    }
    draw_background();

    // 8. The work surface on which both panels are composed.
    scrat = create_bitmap(2 * width + gap, height);
    if (scrat == NULL) {
        close_program();
        log_event("exit -1 (no memory for the work surface)");
        return -1;
    }

    // The tablet panel, when switched on (valdora.ini, --web): from the first picture on.
    web_start(argc, argv);
    // 9. First draw of the RMU, before the simulator is reached.
    rmu_display();
    // 10. to 13. The simulator, the radios, the boards-starting banner, board discovery.
    start_link_and_boards();

    // ---- Main loop: tested only before each pass, so a started pass runs to its end ----
    while (loop == 1) {
        main_pass();
    }

    // ---- Shutdown ----
    // Settings first, while the window still exists.
    save_ini_file();
    // Clear and close the boards.
    k8055_close();
    web_stop();
    close_program();
    log_event("exit 0");
    return 0;
}
END_OF_MAIN()
