/* Stand-in AVR registers, so that the firmware's pin table builds on the host for the wiring
   check: each port register (with its PIN and DDR just below, as on the chip) and each timer
   register is one byte of avr_host_io. */
#pragma once

#include <stdint.h>

extern volatile uint8_t avr_host_io[128];

#define AVR_HOST_PORT(letter) avr_host_io[((letter) - 'A') * 3 + 2]
#define PORTA AVR_HOST_PORT('A')
#define PORTB AVR_HOST_PORT('B')
#define PORTC AVR_HOST_PORT('C')
#define PORTD AVR_HOST_PORT('D')
#define PORTE AVR_HOST_PORT('E')
#define PORTF AVR_HOST_PORT('F')
#define PORTG AVR_HOST_PORT('G')
#define PORTH AVR_HOST_PORT('H')
#define PORTJ AVR_HOST_PORT('J')
#define PORTK AVR_HOST_PORT('K')
#define PORTL AVR_HOST_PORT('L')
#define OCR0A avr_host_io[100]
#define OCR0B avr_host_io[101]
#define OCR2A avr_host_io[102]
#define OCR2B avr_host_io[103]
#define TCCR0A avr_host_io[104]
#define TCCR2A avr_host_io[105]
#define COM0A1 7
#define COM0B1 5
#define COM2A1 7
#define COM2B1 5
