// The background draw: puts the flat background bitmap on the screen, turned a quarter for a
// portrait layout. Used at start-up, by the main loop and by the simulator wait.
#include "app/app.h"

int draw_background(void) {
    if (bg == NULL) {
        return -1;
    }
    // The background covers the RMU: the next draw must put it back.
    request_push();
    if (layout_portrait()) {
        // Turned a quarter clockwise about its lower-left corner, which lands on the screen's
        // top-left corner. The same turn serves 192: bg is one flat colour, only its outline
        // matters.
        pivot_sprite(screen, bg, 0, 0, 0, height + extra_border, ftofix(64.0));
    } else {
        blit(bg, screen, 0, 0, 0, 0, 2 * width + gap + extra_border, height + extra_border);
    }
    return 0;
}
