// Board discovery at start-up (which boards answer, opening and clearing them, the report in
// the simulator's message line) and the clearing and closing of the boards at shutdown.
#include "k8055/k8055.h"
#include "app/app.h"
#include "boards/serial.h"
#include "simlink/simlink.h"

#include <stdio.h>
#include <string.h>

#define MESSAGE_TEXT_OFFSET 0x3380 // the simulator's message line
#define MESSAGE_TIME_OFFSET 0x32FA // how long the message line shows, in seconds
#define REPORT_BYTES 78            // the report is always sent as this many bytes

// The presence flag of each board address.
static int32_t *const present[4] = {&vel_zero, &vel_one, &vel_two, &vel_three};

// Opens a present board, makes it current and turns all its outputs off.
static void open_board(long address) {
    OpenDevice(address);
    SetCurrentDevice(address);
    ClearAllDigital();
    ClearAllAnalog();
}

// Tells the pilot in the simulator which boards were found.
static void report_boards(void) {
    // 40 characters and two zero bytes.
    static char none[42] = "No Velleman K8055 interfaces are present";
    static const char *const names[4] = {"[Zero] ", "[One] ", "[Two] ", "[Three]"};

    if (velkit == 0 && serial_boards_note[0]) {
        // A serial board that cannot be used (old or no firmware, its port held elsewhere):
        // what to do about it is more use to the pilot than "no boards".
        // The note is never longer than the message line's room.
        DWORD size = (DWORD)strlen(serial_boards_note) + 1;
        if (!FSUIPC_Write(MESSAGE_TEXT_OFFSET, size, serial_boards_note, &dwResult))
            connect_to_sim();
    } else if (velkit == 0) {
        if (!FSUIPC_Write(MESSAGE_TEXT_OFFSET, sizeof none, none, &dwResult))
            connect_to_sim();
    } else {
        int found = 0;
        for (int a = 0; a < 4; a++)
            found += *present[a] == 1;
        buffer[0] = 0;
        if (found == 1)
            strcat(buffer, "Velleman K8055 Interface detected is on address ");
        else
            strcat(buffer, "Velleman K8055 Interfaces detected are on addresses ");
        for (int a = 0; a < 4; a++)
            if (*present[a] == 1)
                strcat(buffer, names[a]);
        strcat(buffer, "                          "); // 26 blanks
        if (!FSUIPC_Write(MESSAGE_TEXT_OFFSET, REPORT_BYTES, buffer, &dwResult))
            connect_to_sim();
    }
    uint16_t seconds = (uint16_t)message_wait_time2;
    if (!FSUIPC_Write(MESSAGE_TIME_OFFSET, 2, &seconds, &dwResult))
        connect_to_sim();
    if (!FSUIPC_Process(&dwResult))
        connect_to_sim();
}

// Notes in the log which boards were found.
static void log_boards(void) {
    char found[32] = "";
    for (int a = 0; a < 4; a++)
        if (*present[a] == 1)
            snprintf(found + strlen(found), sizeof found - strlen(found), " %d", a);
    log_event("boards:%s (search mask %d)", found[0] ? found : " none", (int)velkit);
    if (serial_boards_note[0])
        log_event("boards: %s", serial_boards_note);
    if (serial_boards_active && velkit != 0) {
        char line[256];
        serial_boards_describe(line, sizeof line);
        log_event("boards: %s", line);
    }
}

int k8055_initialise(void) {
    if (loop != 1)
        return 0;
    velkit = (int32_t)SearchDevices();
    if (velkit >= 1 && velkit <= 15)
        for (int a = 0; a < 4; a++)
            if (velkit & (1 << a))
                *present[a] = 1;
    for (int a = 0; a < 4; a++)
        if (*present[a] == 1)
            open_board(a);
    log_boards();
    report_boards();
    return 0;
}

int k8055_close(void) {
    if (serial_boards_active && velkit != 0) {
        char line[256];
        serial_boards_describe(line, sizeof line);
        log_event("boards: closing the %s", line);
    }
    for (int a = 0; a < 4; a++) {
        if (*present[a] != 1)
            continue;
        SetCurrentDevice(a);
        ClearAllDigital();
        ClearAllAnalog();
        CloseDevice();
    }
    return 0;
}
