// The pin table: every cockpit channel and the Arduino Mega pin it is wired to. Boards are the
// K8055 addresses 0..3, channels numbered as the K8055 numbers them. Changing this table means
// raising SERIAL_PIN_TABLE_VERSION and the README's wiring table with it.
#include "pins.h"

#include <avr/io.h>
#include <stddef.h>

#define P(port, bit)                                                                               \
    { &port, bit }

// Mega pins 22..41, five per board in channel order.
const struct port_pin pin_digital_in[BOARDS * DIGITAL_INPUTS] = {
    P(PORTA, 0), P(PORTA, 1), P(PORTA, 2), P(PORTA, 3), P(PORTA, 4), // board 0: pins 22-26
    P(PORTA, 5), P(PORTA, 6), P(PORTA, 7), P(PORTC, 7), P(PORTC, 6), // board 1: pins 27-31
    P(PORTC, 5), P(PORTC, 4), P(PORTC, 3), P(PORTC, 2), P(PORTC, 1), // board 2: pins 32-36
    P(PORTC, 0), P(PORTD, 7), P(PORTG, 2), P(PORTG, 1), P(PORTG, 0), // board 3: pins 37-41
};

// A0..A7, two per board.
const uint8_t pin_analog_in[BOARDS * ANALOG_INPUTS] = {0, 1, 2, 3, 4, 5, 6, 7};

// clang-format off
const struct port_pin pin_digital_out[BOARDS * DIGITAL_OUTPUTS] = {
    P(PORTL, 7), P(PORTL, 6), P(PORTL, 5), P(PORTL, 4), // board 0, outputs 1-4: pins 42-45
    P(PORTL, 3), P(PORTL, 2), P(PORTL, 1), P(PORTL, 0), // board 0, outputs 5-8: pins 46-49
    P(PORTB, 3), P(PORTB, 2), P(PORTB, 1), P(PORTB, 0), // board 1, outputs 1-4: pins 50-53
    P(PORTK, 0), P(PORTK, 1), P(PORTK, 2), P(PORTK, 3), // board 1, outputs 5-8: A8-A11
    P(PORTK, 4), P(PORTK, 5), P(PORTK, 6), P(PORTK, 7), // board 2, outputs 1-4: A12-A15
    P(PORTE, 4), P(PORTE, 5), P(PORTE, 3), P(PORTH, 3), // board 2, outputs 5-8: pins 2, 3, 5, 6
    P(PORTH, 4), P(PORTH, 5), P(PORTB, 5), P(PORTB, 6), // board 3, outputs 1-4: pins 7, 8, 11, 12
    P(PORTJ, 1), P(PORTJ, 0), P(PORTH, 1), P(PORTH, 0), // board 3, outputs 5-8: pins 14-17
};
// clang-format on

// clang-format off
#define NO_PWM {NULL, NULL, 0, {NULL, 0}}
// clang-format on

// The four analog outputs the cockpit uses, on the 8-bit timers 0 and 2.
const struct pwm_pin pin_analog_out[BOARDS * ANALOG_OUTPUTS] = {
    {&OCR0B, &TCCR0A, COM0B1, P(PORTG, 5)}, // board 0 output 1: pin 4, APU speed gauge
    NO_PWM,
    NO_PWM,
    NO_PWM,
    {&OCR0A, &TCCR0A, COM0A1, P(PORTB, 7)}, // board 2 output 1: pin 13, overspeed
    {&OCR2A, &TCCR2A, COM2A1, P(PORTB, 4)}, // board 2 output 2: pin 10, gear warning
    {&OCR2B, &TCCR2A, COM2B1, P(PORTH, 6)}, // board 3 output 1: pin 9, pitot heat off
    NO_PWM,
};
