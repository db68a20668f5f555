// The cockpit board firmware's main loop: debounce every millisecond, snapshot every few
// milliseconds, and answer the host as its frames arrive; idle in between.
#include "firmware.h"

#include <avr/interrupt.h>
#include <avr/sleep.h>

int main(void) {
    io_start(); // outputs off before anything else
    clock_start();
    uart_start();
    set_sleep_mode(SLEEP_MODE_IDLE);
    sei();
    uint16_t last_tick = clock_now(), last_snapshot = last_tick;
    for (;;) {
        uint16_t now = clock_now();
        while (last_tick != now) {
            last_tick++;
            io_debounce();
        }
        io_adc_step();
        link_receive(now);
        link_watch_silence(now);
        if ((uint16_t)(now - last_snapshot) >= SNAPSHOT_MS) {
            last_snapshot = now;
            link_send_snapshot();
        }
        // Idle until the next interrupt: the millisecond tick, a received byte or the sender.
        // A byte that arrives just before this waits at most for the next tick.
        sleep_mode();
    }
}
