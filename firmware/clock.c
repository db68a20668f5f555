// The millisecond clock of the firmware: timer 1 in CTC mode, one interrupt per millisecond.
#include "firmware.h"

#include <avr/interrupt.h>
#include <avr/io.h>
#include <util/atomic.h>

volatile uint16_t clock_ms;

ISR(TIMER1_COMPA_vect) {
    clock_ms++;
}

void clock_start(void) {
    TCCR1A = 0;
    TCCR1B = (1 << WGM12) | (1 << CS11) | (1 << CS10); // CTC, clock / 64 = 250 kHz
    OCR1A = 249;                                       // 250 ticks: 1 ms
    TIMSK1 = 1 << OCIE1A;
}

uint16_t clock_now(void) {
    uint16_t t;
    ATOMIC_BLOCK(ATOMIC_RESTORESTATE) {
        t = clock_ms;
    }
    return t;
}
