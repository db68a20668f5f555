// The one pin table of the board firmware: which ATmega2560 pin carries each channel of the
// four cockpit boards. Pins are given as the port's PORTx register and the bit in it; the
// Arduino Mega pin number is noted for the wiring table.
#pragma once

#include <stdint.h>

#define BOARDS 4
#define DIGITAL_INPUTS 5  // per board
#define ANALOG_INPUTS 2   // per board
#define DIGITAL_OUTPUTS 8 // per board
#define ANALOG_OUTPUTS 2  // per board

// A port pin: its PORTx register (PINx and DDRx sit just below it) and its bit.
struct port_pin {
    volatile uint8_t *port;
    uint8_t bit;
};

// A PWM output: the timer's compare register, its control register and compare-output bit,
// and the port pin the timer drives.
struct pwm_pin {
    volatile uint8_t *ocr;
    volatile uint8_t *tccra;
    uint8_t com_bit;
    struct port_pin pin;
};

// Digital input c (1..5) of board b: switch to ground, internal pull-up.
extern const struct port_pin pin_digital_in[BOARDS * DIGITAL_INPUTS];
// ADC channel of analog input c (1..2) of board b.
extern const uint8_t pin_analog_in[BOARDS * ANALOG_INPUTS];
// Digital output c (1..8) of board b.
extern const struct port_pin pin_digital_out[BOARDS * DIGITAL_OUTPUTS];
// Analog output c (1..2) of board b; a NULL compare register where the cockpit uses none.
extern const struct pwm_pin pin_analog_out[BOARDS * ANALOG_OUTPUTS];

#define PIN_REG(p) (*((p)->port - 2))
#define DDR_REG(p) (*((p)->port - 1))
#define PORT_REG(p) (*(p)->port)
