// The simulated Arduino Mega of the tests: the board firmware running in simavr (ATmega2560 at
// 16 MHz), with the cockpit's switches, potentiometers and lamps wired to it as the README's
// wiring table says. Used by the firmware tests and by the pty bridge valdora-mega-sim.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct avr_t;

extern struct avr_t *mega_avr; // the simulated chip, NULL before mega_sim_load

// Loads the firmware ELF and powers the chip up with every switch open; 0 or -1.
int mega_sim_load(const char *elf_path);
// Sets the external interrupt pins to raise once per falling edge instead of simavr's default
// of re-checking every low pin on every cycle, which the firmware (no external interrupt in
// use) would pay for with a chip several times slower than real time whenever an output wired
// to such a pin is off.
void mega_sim_calm_external_interrupts(struct avr_t *avr);
// Sets a chip up as the Mega runs it (16 MHz, 5 V) for a caller that keeps it to wall-clock pace:
// its idle time just passes, and its external interrupt pins are calm.
void mega_sim_setup_chip(struct avr_t *avr);
// Resets the chip as a power cycle would, its EEPROM kept and the switches as they stand.
void mega_sim_reset(void);
// Runs the chip for ms milliseconds of its own time.
void mega_sim_run_ms(double ms);
// Milliseconds of chip time since power-up.
double mega_sim_now_ms(void);
// Closes (1) or opens (0) digital input channel 1..5 of board 0..3.
void mega_sim_set_input(int board, int channel, int closed);
// Sets analog input channel 1..2 of board 0..3 to millivolts (5000 mV reference).
void mega_sim_set_millivolts(int board, int channel, int mv);
// 1 when digital output channel 1..8 of board 0..3 drives its pin high.
int mega_sim_output(int board, int channel);
// PWM level 0..255 of analog output channel 1..2 of board 0..3, 0 when the pin is held low;
// -1 for an output the cockpit does not wire.
int mega_sim_pwm(int board, int channel);
// Prints the outputs that changed since the last call (all of them at the first) to stdout, a
// line each: "out B C 0|1" and "pwm B C LEVEL".
void mega_sim_print_outputs(void);
// Sends bytes to the chip's serial port (queued at the line's pace).
void mega_sim_send(const uint8_t *p, size_t n);
// Called with every byte the chip sends, when set.
extern void (*mega_sim_on_byte)(uint8_t b);
// Connects the serial port to a pseudo-terminal, reachable as link_path (a symbolic link
// replaced if present); the bytes then go to the terminal instead. 0 or -1.
int mega_sim_connect_pty(const char *link_path);

#ifdef __cplusplus
}
#endif
