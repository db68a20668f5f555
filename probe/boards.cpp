// The probe's look at the boards: which ones the driver finds, their digital and raw analog
// inputs, and for each calibrated axis the value the program would send. Boards are only
// opened and read here, never driven; a board another program holds is reported as busy.
#include "probe/probe.h"
#include "app/app.h"
#include "boards/boards.h"
#include "boards/serial.h"
#include "k8055/k8055.h"

static long search_mask = 0;
static int board_state[4]; // 1 opened here, -1 busy, 0 not found
static int calibration_read = 0;

void probe_boards_open(void) {
    // The calibration the program would use: vd60_rmu.ini in the current folder.
    FILE *ini = fopen("vd60_rmu.ini", "r");
    calibration_read = ini != NULL;
    if (ini)
        fclose(ini);
    load_ini_file();
    serial_boards_listen_only = 1; // a serial board is read, never sent outputs
    search_mask = SearchDevices();
    for (int a = 0; a < 4; a++)
        if (search_mask >= 1 && search_mask <= 15 && (search_mask & (1L << a)))
            board_state[a] = OpenDevice(a) == a ? 1 : -1;
}

static void print_board(int a) {
    SetCurrentDevice(a);
    printf("  board %d digital in:", a);
    for (int channel = 1; channel <= 5; channel++)
        printf(" %d %s %ld", channel, board_wire_name(a, BOARD_DIGITAL_IN, channel),
               ReadDigitalChannel(channel));
    printf("\n");
    for (int channel = 1; channel <= 2; channel++) {
        long raw = ReadAnalogChannel(channel);
        printf("  board %d analog in %d %-14s raw %3ld", a, channel,
               board_wire_name(a, BOARD_ANALOG_IN, channel), raw);
        if (raw < 0)
            printf("  not answering: nothing sent\n");
        else if (k8055_axis_in_use(a, channel))
            printf("  sends %ld\n", (long)k8055_axis_value(a, channel, (int32_t)raw));
        else
            printf("  not in use (not calibrated%s)\n", a == 0 ? ", or the speed hold is on" : "");
    }
}

void probe_print_boards(void) {
    printf("Boards (search mask %ld; calibration %s)\n", search_mask,
           calibration_read ? "from vd60_rmu.ini" : "none: no vd60_rmu.ini in this folder");
    if (serial_boards_busy)
        printf("  serial board BUSY: %s. A board answers one program at a time: close valdora "
               "to probe it.\n",
               serial_boards_note);
    else if (serial_boards_note[0])
        printf("  serial board: %s\n", serial_boards_note);
    else if (serial_boards_active) {
        char line[256];
        serial_boards_describe(line, sizeof line);
        printf("  %s\n", line);
    }
    int found = serial_boards_busy;
    for (int a = 0; a < 4; a++) {
        if (board_state[a] == 0)
            continue;
        found = 1;
        if (board_state[a] < 0)
            printf("  board %d BUSY: another program has it open. A board answers one program "
                   "at a time: close valdora to probe it.\n",
                   a);
        else
            print_board(a);
    }
    if (!found)
        printf("  no K8055 board found\n");
    fflush(stdout);
}

void probe_boards_close(void) {
    for (int a = 0; a < 4; a++)
        if (board_state[a] == 1) {
            SetCurrentDevice(a);
            CloseDevice();
            board_state[a] = 0;
        }
}
