// Puts a bitmap on the screen turned about its centre, as Allegro's rotate_scaled_sprite
// does, but with the fixed-point position computed by multiplication: the turned panels
// are placed at negative positions, and Allegro's inline version shifts those left, which
// C++ leaves undefined (and the sanitizer build stops on).
#include "app/app.h"

int put_turned(BITMAP *sprite, int x, int y, fixed turn, fixed scale) {
    fixed cx = (fixed)(x * 65536 + (sprite->w * scale) / 2);
    fixed cy = (fixed)(y * 65536 + (sprite->h * scale) / 2);
    screen->vtable->pivot_scaled_sprite_flip(screen, sprite, cx, cy, sprite->w * 32768,
                                             sprite->h * 32768, turn, scale, FALSE);
    window_show_drawing();
    return 0;
}
