// The cockpit board firmware for one ATmega2560: its state and procedures. The pin table is in
// pins.h, the frames in boards/serial_frame.h (shared with the program's serial back-end).
#pragma once

#include <stdint.h>

#include "pins.h"

#define SNAPSHOT_MS 5      // an input snapshot goes out this often
#define DEBOUNCE_MS 5      // an input change counts once it has held this long
#define FIRMWARE_VERSION 2 // sent in the hello reply; raised with every released change
#define SILENCE_MS 2000    // outputs go off after this long without a good frame from the host

extern volatile uint16_t clock_ms;     // milliseconds since power-up (wraps), kept by timer 1
extern uint8_t inputs_digital[BOARDS]; // debounced inputs: bit c-1 = input c closed
extern uint8_t inputs_analog[BOARDS * ANALOG_INPUTS]; // latest readings, 0..255
extern uint8_t frames_dropped; // frames from the host that failed their checks (wraps)

// Milliseconds since power-up, read safely from outside the timer interrupt.
uint16_t clock_now(void);
// Starts timer 1's millisecond tick.
void clock_start(void);

// Sets up the serial port at 115200 baud with interrupt-driven receive and send.
void uart_start(void);
// Takes one received byte into *b; 1 when there was one, else 0.
uint8_t uart_get(uint8_t *b);
// Queues bytes for sending, waiting only while the send buffer is full.
void uart_send(const uint8_t *p, uint8_t n);

// Pins to their power-up state: inputs with pull-ups, every output off, PWM timers running.
void io_start(void);
// One millisecond of debouncing: samples every digital input.
void io_debounce(void);
// Advances the round-robin ADC reading (call often; never waits).
void io_adc_step(void);
// Drives every output from an output frame's payload.
void io_apply_outputs(const uint8_t *payload);
// Switches every output off.
void io_all_off(void);

// Acts on received bytes: hello and output frames; counts dropped ones.
void link_receive(uint16_t now);
// Sends one input snapshot.
void link_send_snapshot(void);
// Turns the outputs off once the host has been silent for SILENCE_MS.
void link_watch_silence(uint16_t now);
