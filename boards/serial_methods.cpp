// The serial board's back-end: the K8055 operations handed to the serial board's own
// procedures (boards/serial.h), which stand its one Arduino Mega in for the four boards.
#include "boards/boards.h"
#include "boards/serial.h"

static void set_digital(long channel) {
    serial_boards_digital(channel, 1);
}

static void clear_digital(long channel) {
    serial_boards_digital(channel, 0);
}

static void set_analog(long channel) {
    serial_boards_analog(channel, 255);
}

static void clear_analog(long channel) {
    serial_boards_analog(channel, 0);
}

static void clear_all_digital(void) {
    serial_boards_all_off(1, 0);
}

static void clear_all_analog(void) {
    serial_boards_all_off(0, 1);
}

const struct board_methods board_serial = {
    "serial",
    serial_boards_search,
    serial_boards_reset,
    serial_boards_open,
    serial_boards_select,
    serial_boards_read_digital,
    serial_boards_read_analog,
    set_digital,
    clear_digital,
    set_analog,
    clear_analog,
    serial_boards_analog,
    clear_all_digital,
    clear_all_analog,
    serial_boards_close_current,
};
