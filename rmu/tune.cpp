// The tuning step and the swap of the radio being edited: step sizes and pauses that grow
// while a control is held, clamping to each radio's band, packed BCD encoding and the writes.
#include "rmu/rmu.h"

#include "aircraft/aircraft.h"
#include "app/app.h"
#include "simlink/simlink.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define COM1_STANDBY_OFFSET 0x311A
#define COM2_STANDBY_OFFSET 0x311C
#define NAV1_STANDBY_OFFSET 0x311E
#define NAV2_STANDBY_OFFSET 0x3120
#define TRANSPONDER_OFFSET 0x0354
#define ADF_MAIN_OFFSET 0x034C     // hundreds, tens and units
#define ADF_EXTENDED_OFFSET 0x0356 // thousands and tenths
#define SWAP_OFFSET 0x3123         // radio swap toggles

int rmu_digit(char c) {
    return (c >= '0' && c <= '9') ? c - '0' : 0;
}

int rmu_write_now(DWORD offset, DWORD size, void *src) {
    if (!aircraft_write(offset, size, src, &dwResult) || !FSUIPC_Process(&dwResult)) {
        connect_to_sim();
        return -1;
    }
    return 0;
}

void rmu_com_schedule(int counter, int control, double *step, DWORD *pause) {
    if (counter < 20)
        *step = 0.025;
    else if (counter < 40)
        *step = 0.1;
    else
        *step = 1.0;
    if (counter < 40)
        *pause = control == RMU_PANEL ? 50 : 200;
    else
        *pause = control == RMU_PANEL ? 200 : 300;
}

void rmu_nav_schedule(int counter, int control, double *step, DWORD *pause) {
    if (counter < 20)
        *step = 0.05;
    else if (counter < 40 || control == RMU_PANEL)
        *step = 0.2; // the panel never reaches the 1 MHz step
    else
        *step = 1.0;
    if (control == RMU_PANEL)
        *pause = 50;
    else
        *pause = counter < 40 ? 200 : 300;
}

void rmu_adf_schedule(int counter, int control, double *step, DWORD *pause) {
    int panel = control == RMU_PANEL;
    if (counter < 30) {
        *step = 0.1;
        *pause = panel ? 50 : 150;
    } else if (counter < 60) {
        *step = 1.0;
        *pause = panel ? 50 : 150;
    } else if (counter < 100) {
        *step = 10.0;
        *pause = panel ? 100 : 200;
    } else {
        *step = 100.0;
        *pause = panel ? 200 : 300;
    }
}

// COM and NAV radios: the standby text is the value; it is rewritten and sent as BCD.
static void tune_frequency(int up, int counter, int control, char *text, DWORD offset, int nav) {
    double step;
    DWORD pause;
    float lower = nav ? 108.0f : 118.0f;
    float upper = nav ? 117.95f : 136.975f;
    freq = (float)atof(text);
    if (nav)
        rmu_nav_schedule(counter, control, &step, &pause);
    else
        rmu_com_schedule(counter, control, &step, &pause);
    freq = (float)(up ? freq + step : freq - step);
    Sleep(pause);
    if (!up && freq < lower)
        freq = lower;
    if (up && freq > upper)
        freq = upper;
    char s[64];
    snprintf(s, sizeof s, "%7.3f", freq);
    // The text keeps its seven characters whatever the value.
    memcpy(text, s, 7);
    text[7] = '\0';
    calc = rmu_digit(text[5]) + 16 * rmu_digit(text[4]) + 256 * rmu_digit(text[2]) +
           4096 * rmu_digit(text[1]);
    uint16_t word = (uint16_t)calc;
    rmu_write_now(offset, 2, &word);
}

static void tune_transponder(int up, int counter, int control) {
    int panel = control == RMU_PANEL;
    x0 = rmu_digit(xpndr_disp[0]);
    x1 = rmu_digit(xpndr_disp[1]);
    x2 = rmu_digit(xpndr_disp[2]);
    x3 = rmu_digit(xpndr_disp[3]);
    int v = atoi(xpndr_disp);
    // A held control runs the units first, then the eights and sixty-fours whenever the
    // lower digits stand at the end of their travel.
    if (up && v <= 7776) {
        if (counter <= 10 || x3 != 7) {
            x3 += 1;
            Sleep(panel ? 50 : 100);
        } else if (counter <= 40 || x2 != 7) {
            x2 += 1;
            Sleep(panel ? 100 : 150);
        } else {
            x1 += 1;
            Sleep(panel ? 100 : 200);
        }
        if (x3 > 7) {
            x3 = 0;
            x2 += 1;
        }
        if (x2 > 7) {
            x2 = 0;
            x1 += 1;
        }
        if (x1 > 7) {
            x1 = 0;
            x0 += 1;
        }
        if (x0 > 7)
            x0 = 7;
    } else if (!up && v > 0) {
        if (counter <= 10 || x3 != 0) {
            x3 -= 1;
            Sleep(panel ? 50 : 100);
        } else if (counter <= 40 || x2 != 0) {
            x2 -= 1;
            Sleep(panel ? 100 : 150);
        } else {
            x1 -= 1;
            Sleep(panel ? 100 : 200);
        }
        if (x3 < 0) {
            x3 = 7;
            x2 -= 1;
        }
        if (x2 < 0) {
            x2 = 7;
            x1 -= 1;
        }
        if (x1 < 0) {
            x1 = 7;
            x0 -= 1;
        }
        if (x0 < 0)
            x0 = 0;
    }
    calc = 4096 * x0 + 256 * x1 + 16 * x2 + x3;
    uint16_t word = (uint16_t)calc;
    rmu_write_now(TRANSPONDER_OFFSET, 2, &word);
}

static void tune_adf(int up, int counter, int control) {
    double step;
    DWORD pause;
    freq = (float)atof(adf_disp);
    rmu_adf_schedule(counter, control, &step, &pause);
    freq = (float)(up ? freq + step : freq - step);
    Sleep(pause);
    if (!up && freq < 100.0f)
        freq = 100.0f;
    if (up && freq > 1799.9f)
        freq = 1799.9f;
    char t[64];
    snprintf(t, sizeof t, "%06.1f", freq);
    // Hundreds, tens and units go to one offset; thousands (high byte) and tenths to the other.
    calc = 256 * rmu_digit(t[1]) + 16 * rmu_digit(t[2]) + rmu_digit(t[3]);
    uint16_t word = (uint16_t)calc;
    rmu_write_now(ADF_MAIN_OFFSET, 2, &word);
    calc = 256 * rmu_digit(t[0]) + rmu_digit(t[5]);
    word = (uint16_t)calc;
    rmu_write_now(ADF_EXTENDED_OFFSET, 2, &word);
}

void rmu_tune_step(int up, int *counter, int control) {
    switch (rmu_edit) {
    case 1:
        tune_frequency(up, *counter, control, com1_disp2, COM1_STANDBY_OFFSET, 0);
        break;
    case 2:
        tune_frequency(up, *counter, control, com2_disp2, COM2_STANDBY_OFFSET, 0);
        break;
    case 3:
        tune_frequency(up, *counter, control, nav1_disp2, NAV1_STANDBY_OFFSET, 1);
        break;
    case 4:
        tune_frequency(up, *counter, control, nav2_disp2, NAV2_STANDBY_OFFSET, 1);
        break;
    case 5:
        tune_transponder(up, *counter, control);
        break;
    case 6:
        tune_adf(up, *counter, control);
        break;
    default:
        return; // nothing to tune: the counter stays
    }
    *counter += 1;
}

void rmu_swap(int control) {
    static const uint8_t bytes[] = {0x08, 0x04, 0x02, 0x01}; // COM1, COM2, NAV1, NAV2
    if (rmu_edit < 1 || rmu_edit > 4)
        return;
    swaps = bytes[rmu_edit - 1];
    rmu_write_now(SWAP_OFFSET, 1, &swaps);
    Sleep(control == RMU_PANEL ? 200 : 100);
}
