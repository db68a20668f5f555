// The cockpit's pins: debounced digital inputs, the ADC round robin over A0..A7, and the
// digital and PWM outputs, all through the pin table.
#include "firmware.h"

#include <avr/io.h>
#include <stddef.h>

uint8_t inputs_digital[BOARDS];
uint8_t inputs_analog[BOARDS * ANALOG_INPUTS];

static uint8_t held_ms[BOARDS * DIGITAL_INPUTS]; // how long each input has differed
static uint8_t adc_index;

static void pin_write(const struct port_pin *p, uint8_t on) {
    if (on)
        PORT_REG(p) |= (uint8_t)(1 << p->bit);
    else
        PORT_REG(p) &= (uint8_t) ~(1 << p->bit);
}

// Sets one PWM output: level 0 disconnects the timer and holds the pin low (no sliver of a
// pulse), 255 is steadily on, levels between give a duty of about level/255.
static void pwm_write(const struct pwm_pin *w, uint8_t level) {
    if (!w->ocr)
        return;
    if (level == 0) {
        *w->tccra &= (uint8_t) ~(1 << w->com_bit);
        pin_write(&w->pin, 0);
    } else {
        *w->ocr = level;
        *w->tccra |= (uint8_t)(1 << w->com_bit);
    }
}

void io_all_off(void) {
    for (uint8_t i = 0; i < BOARDS * DIGITAL_OUTPUTS; i++)
        pin_write(&pin_digital_out[i], 0);
    for (uint8_t i = 0; i < BOARDS * ANALOG_OUTPUTS; i++)
        pwm_write(&pin_analog_out[i], 0);
}

void io_start(void) {
    for (uint8_t i = 0; i < BOARDS * DIGITAL_INPUTS; i++) {
        const struct port_pin *p = &pin_digital_in[i];
        DDR_REG(p) &= (uint8_t) ~(1 << p->bit);
        PORT_REG(p) |= (uint8_t)(1 << p->bit); // pull-up: an open switch reads high
    }
    io_all_off(); // low before the pins become outputs, so nothing flickers on
    for (uint8_t i = 0; i < BOARDS * DIGITAL_OUTPUTS; i++) {
        const struct port_pin *p = &pin_digital_out[i];
        DDR_REG(p) |= (uint8_t)(1 << p->bit);
    }
    for (uint8_t i = 0; i < BOARDS * ANALOG_OUTPUTS; i++) {
        const struct port_pin *p = &pin_analog_out[i].pin;
        if (pin_analog_out[i].ocr)
            DDR_REG(p) |= (uint8_t)(1 << p->bit);
    }
    // Timers 0 and 2: fast PWM, clock / 64 (about 980 Hz); outputs connect per level.
    TCCR0A = (1 << WGM01) | (1 << WGM00);
    TCCR0B = (1 << CS01) | (1 << CS00);
    TCCR2A = (1 << WGM21) | (1 << WGM20);
    TCCR2B = 1 << CS22;
    // ADC: AVCC reference, clock / 128 (125 kHz), first conversion on A0.
    ADMUX = 1 << REFS0;
    ADCSRB = 0;
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADPS2) | (1 << ADPS1) | (1 << ADPS0);
    adc_index = 0;
}

void io_debounce(void) {
    for (uint8_t i = 0; i < BOARDS * DIGITAL_INPUTS; i++) {
        const struct port_pin *p = &pin_digital_in[i];
        uint8_t closed = !(PIN_REG(p) & (1 << p->bit));
        uint8_t board = i / DIGITAL_INPUTS, mask = (uint8_t)(1 << (i % DIGITAL_INPUTS));
        uint8_t stable = (inputs_digital[board] & mask) != 0;
        if (closed == stable) {
            held_ms[i] = 0;
        } else if (++held_ms[i] >= DEBOUNCE_MS) {
            inputs_digital[board] ^= mask;
            held_ms[i] = 0;
        }
    }
}

void io_adc_step(void) {
    if (ADCSRA & (1 << ADSC))
        return;
    inputs_analog[adc_index] = (uint8_t)(ADC >> 2); // 10 bits to the 0..255 scale
    adc_index = (uint8_t)((adc_index + 1) % (BOARDS * ANALOG_INPUTS));
    ADMUX = (uint8_t)((1 << REFS0) | pin_analog_in[adc_index]);
    ADCSRA |= 1 << ADSC;
}

void io_apply_outputs(const uint8_t *payload) {
    for (uint8_t i = 0; i < BOARDS * DIGITAL_OUTPUTS; i++)
        pin_write(&pin_digital_out[i], (payload[i / DIGITAL_OUTPUTS] >> (i % DIGITAL_OUTPUTS)) & 1);
    for (uint8_t i = 0; i < BOARDS * ANALOG_OUTPUTS; i++)
        pwm_write(&pin_analog_out[i], payload[BOARDS + i]);
}
