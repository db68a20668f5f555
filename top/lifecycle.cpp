// The ends of the program's life: the start-up's link to the simulator and the boards, the
// shutdown of the simulator link and Allegro, and the error screen shown when the artwork cannot
// be loaded.
#include "top/top.h"

#include "app/app.h"
#include "k8055/k8055.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

int start_link_and_boards(void) {
    // Wait for the simulator (returns once linked or the window was closed).
    connect_to_sim();
    rmu_fsuipc_read();
    // Draw once more with the boards-starting banner, held 4 seconds, then find the boards.
    about_to_init_k8055 = 1;
    rmu_display();
    about_to_init_k8055 = 0;
    return k8055_initialise();
}

int close_program(void) {
    // The simulator link closes first.
    FSUIPC_Close();
    allegro_exit();
    return 0;
}

int draw_artwork_error(void) {
    int x = width / 2 + extra_border / 2;
    request_push(); // the message covers whatever the RMU showed
    // Text in the raw pixel value 0xFFFF on an opaque black ground.
    textprintf_centre_ex(screen, font, x, (int)(height * 0.15), 0xFFFF, 0, "*** E R R O R ***");
    textprintf_centre_ex(screen, font, x, (int)(height * 0.4), 0xFFFF, 0, "Bitmap File Missing");
    textprintf_centre_ex(screen, font, x, (int)(height * 0.65), 0xFFFF, 0, "Press Key to Exit");
    // The same message in the right panel. With a negative gap the two panels overlap; blit
    // (unlike stretch_blit) copies within one bitmap in a safe order, so the copy is exact.
    blit(screen, screen, 0, 0, width + gap, 0, width, height);
    window_show_drawing();
    return 0;
}

int show_artwork_error(void) {
    draw_artwork_error();
    // One key ends the program; so does closing the window.
    while (!keypressed() && loop == 1) {
        Sleep(20);
    }
    if (keypressed()) {
        readkey();
    }
    return 0;
}
