// The simulated Mega: simavr with the firmware loaded, and the cockpit wiring seen from outside
// the chip (switches on port pins, voltages on the ADC, lamps read back from the ports).
#include "mega_sim.h"

#include <avr_adc.h>
#include <avr_extint.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <parts/uart_pty.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

struct avr_t *mega_avr;
void (*mega_sim_on_byte)(uint8_t b);

// A Mega pin as the wiring table names it, and where it sits on the chip.
struct wired {
    int mega_pin; // Arduino Mega pin number (54 + n for An)
    char port;
    int bit;
};

// Digital inputs: board b channel c at index 5b + c - 1 (Mega pins 22 to 41).
static const struct wired digital_in[20] = {
    {22, 'A', 0}, {23, 'A', 1}, {24, 'A', 2}, {25, 'A', 3}, {26, 'A', 4},
    {27, 'A', 5}, {28, 'A', 6}, {29, 'A', 7}, {30, 'C', 7}, {31, 'C', 6},
    {32, 'C', 5}, {33, 'C', 4}, {34, 'C', 3}, {35, 'C', 2}, {36, 'C', 1},
    {37, 'C', 0}, {38, 'D', 7}, {39, 'G', 2}, {40, 'G', 1}, {41, 'G', 0},
};
// Digital outputs: board b channel c at index 8b + c - 1.
static const struct wired digital_out[32] = {
    {42, 'L', 7}, {43, 'L', 6}, {44, 'L', 5}, {45, 'L', 4}, {46, 'L', 3}, {47, 'L', 2},
    {48, 'L', 1}, {49, 'L', 0}, {50, 'B', 3}, {51, 'B', 2}, {52, 'B', 1}, {53, 'B', 0},
    {62, 'K', 0}, {63, 'K', 1}, {64, 'K', 2}, {65, 'K', 3}, {66, 'K', 4}, {67, 'K', 5},
    {68, 'K', 6}, {69, 'K', 7}, {2, 'E', 4},  {3, 'E', 5},  {5, 'E', 3},  {6, 'H', 3},
    {7, 'H', 4},  {8, 'H', 5},  {11, 'B', 5}, {12, 'B', 6}, {14, 'J', 1}, {15, 'J', 0},
    {16, 'H', 1}, {17, 'H', 0},
};
// PWM outputs: board b channel c at index 2b + c - 1; the timer's compare register and control
// register (data addresses) and the compare-output bit. Mega pin 0 marks an unwired output.
static const struct {
    struct wired pin;
    uint16_t ocr, tccra;
    int com_bit;
} pwm_out[8] = {
    {{4, 'G', 5}, 0x48, 0x44, 5}, {{0, 0, 0}, 0, 0, 0},          {{0, 0, 0}, 0, 0, 0},
    {{0, 0, 0}, 0, 0, 0},         {{13, 'B', 7}, 0x47, 0x44, 7}, {{10, 'B', 4}, 0xB3, 0xB0, 7},
    {{9, 'H', 6}, 0xB4, 0xB0, 5}, {{0, 0, 0}, 0, 0, 0},
};

static uart_pty_t pty;
static uint8_t switch_closed[20]; // each switch as the cockpit has it, put back after a reset

static void byte_out(struct avr_irq_t *irq, uint32_t value, void *param) {
    (void)irq;
    (void)param;
    if (mega_sim_on_byte)
        mega_sim_on_byte((uint8_t)value);
}

// simavr's own sleep callback pauses the process for the chip's idle time; the chip's idle time
// instead just passes here, and whoever needs wall-clock pace (the pty bridge) keeps it.
static void idle_passes(struct avr_t *avr, avr_cycle_count_t how_long) {
    (void)avr;
    (void)how_long;
}

static int port_bit(char port, int bit) {
    avr_ioport_state_t s;
    if (avr_ioctl(mega_avr, AVR_IOCTL_IOPORT_GETSTATE(port), &s) != 0)
        return -1;
    return (s.port >> bit) & 1;
}

static avr_irq_t *switch_pin(int i) {
    return avr_io_getirq(mega_avr, AVR_IOCTL_IOPORT_GETIRQ(digital_in[i].port), digital_in[i].bit);
}

// Puts every switch on its pin: the pull-up holds an open switch's pin high, a closed switch pulls
// it low. Each pin is first set to the other level: simavr passes a pin only a change of level,
// and a reset clears the pin registers behind its back.
static void put_switches(void) {
    for (int i = 0; i < 20; i++) {
        avr_raise_irq(switch_pin(i), switch_closed[i]);
        avr_raise_irq(switch_pin(i), !switch_closed[i]);
    }
}

void mega_sim_calm_external_interrupts(struct avr_t *avr) {
    for (uint8_t i = 0; i < EXTINT_COUNT; i++)
        avr_extint_set_strict_lvl_trig(avr, i, 0);
}

void mega_sim_setup_chip(struct avr_t *avr) {
    avr->frequency = 16000000;
    avr->vcc = avr->avcc = avr->aref = 5000;
    avr->log = 0;
    avr->sleep = idle_passes;
    mega_sim_calm_external_interrupts(avr);
}

int mega_sim_load(const char *elf_path) {
    elf_firmware_t fw;
    memset(&fw, 0, sizeof fw);
    if (elf_read_firmware(elf_path, &fw) != 0) {
        fprintf(stderr, "cannot read the firmware %s\n", elf_path);
        return -1;
    }
    mega_avr = avr_make_mcu_by_name("atmega2560");
    if (!mega_avr)
        return -1;
    avr_init(mega_avr);
    avr_load_firmware(mega_avr, &fw);
    mega_sim_setup_chip(mega_avr);
    uint32_t flags = 0;
    avr_ioctl(mega_avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~AVR_UART_FLAG_STDIO;
    avr_ioctl(mega_avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    avr_irq_register_notify(avr_io_getirq(mega_avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            byte_out, NULL);
    put_switches(); // every switch open
    return 0;
}

void mega_sim_reset(void) {
    avr_reset(mega_avr);
    mega_sim_calm_external_interrupts(mega_avr);
    put_switches();
}

void mega_sim_run_ms(double ms) {
    avr_cycle_count_t end = mega_avr->cycle + (avr_cycle_count_t)(ms * 16000.0);
    while (mega_avr->cycle < end) {
        int state = avr_run(mega_avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            fprintf(stderr, "the simulated chip stopped (state %d)\n", state);
            _exit(3);
        }
    }
}

double mega_sim_now_ms(void) {
    return (double)mega_avr->cycle / 16000.0;
}

void mega_sim_set_input(int board, int channel, int closed) {
    int i = board * 5 + channel - 1;
    switch_closed[i] = (uint8_t)closed;
    avr_raise_irq(switch_pin(i), !closed);
}

void mega_sim_set_millivolts(int board, int channel, int mv) {
    avr_raise_irq(
        avr_io_getirq(mega_avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC0 + board * 2 + channel - 1),
        (uint32_t)mv);
}

int mega_sim_output(int board, int channel) {
    const struct wired *w = &digital_out[board * 8 + channel - 1];
    return port_bit(w->port, w->bit);
}

int mega_sim_pwm(int board, int channel) {
    int i = board * 2 + channel - 1;
    if (!pwm_out[i].pin.mega_pin)
        return -1;
    if (mega_avr->data[pwm_out[i].tccra] & (1 << pwm_out[i].com_bit))
        return mega_avr->data[pwm_out[i].ocr];
    return port_bit(pwm_out[i].pin.port, pwm_out[i].pin.bit) ? 255 : 0;
}

void mega_sim_send(const uint8_t *p, size_t n) {
    avr_irq_t *in = avr_io_getirq(mega_avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    for (size_t i = 0; i < n; i++)
        avr_raise_irq(in, p[i]);
}

int mega_sim_connect_pty(const char *link_path) {
    uart_pty_init(mega_avr, &pty);
    uart_pty_connect(&pty, '0');
    if (!pty.port[0].slavename[0])
        return -1;
    unlink(link_path);
    if (symlink(pty.port[0].slavename, link_path) != 0) {
        perror(link_path);
        return -1;
    }
    return 0;
}

void mega_sim_print_outputs(void) {
    static int last_out[32], last_pwm[8], first = 1;
    for (int i = 0; i < 32; i++) {
        int v = mega_sim_output(i / 8, i % 8 + 1);
        if (first || v != last_out[i])
            printf("out %d %d %d\n", i / 8, i % 8 + 1, v);
        last_out[i] = v;
    }
    for (int i = 0; i < 8; i++) {
        int v = mega_sim_pwm(i / 2, i % 2 + 1);
        if (v >= 0 && (first || v != last_pwm[i]))
            printf("pwm %d %d %d\n", i / 2, i % 2 + 1, v);
        last_pwm[i] = v;
    }
    first = 0;
    fflush(stdout);
}
