// Serial port 0 (Mega pins 0 and 1, the USB link) at 115200 baud: ring buffers filled and
// emptied by the receive and send interrupts.
#include "firmware.h"

#include <avr/interrupt.h>
#include <avr/io.h>

#define RX_SIZE 128 // powers of two: indexes wrap with a mask
#define TX_SIZE 64

static volatile uint8_t rx_buf[RX_SIZE];
static volatile uint8_t rx_head, rx_tail;
static volatile uint8_t tx_buf[TX_SIZE];
static volatile uint8_t tx_head, tx_tail;

ISR(USART0_RX_vect) {
    uint8_t b = UDR0;
    uint8_t next = (rx_head + 1) & (RX_SIZE - 1);
    if (next != rx_tail) { // a full buffer drops the byte; the CRC then drops its frame
        rx_buf[rx_head] = b;
        rx_head = next;
    }
}

ISR(USART0_UDRE_vect) {
    if (tx_head == tx_tail) {
        UCSR0B &= (uint8_t) ~(1 << UDRIE0);
        return;
    }
    UDR0 = tx_buf[tx_tail];
    tx_tail = (tx_tail + 1) & (TX_SIZE - 1);
}

void uart_start(void) {
    UCSR0A = 1 << U2X0;
    UBRR0 = 16;                             // 16 MHz / (8 * 17) = 117647 baud, 2.1% from 115200
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00); // 8 data bits, no parity, 1 stop bit
    UCSR0B = (1 << RXEN0) | (1 << TXEN0) | (1 << RXCIE0);
}

uint8_t uart_get(uint8_t *b) {
    if (rx_head == rx_tail)
        return 0;
    *b = rx_buf[rx_tail];
    rx_tail = (rx_tail + 1) & (RX_SIZE - 1);
    return 1;
}

void uart_send(const uint8_t *p, uint8_t n) {
    while (n--) {
        uint8_t next = (tx_head + 1) & (TX_SIZE - 1);
        while (next == tx_tail) {
        }
        tx_buf[tx_head] = *p++;
        tx_head = next;
        UCSR0B |= 1 << UDRIE0;
    }
}
