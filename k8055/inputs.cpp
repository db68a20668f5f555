// The input polling pass over every present board, and board 0's tuning panel for the RMU:
// radio select, step down, step up, swap and the silence button of the master lamps.
#include "k8055/k8055.h"
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

// Reads one digital input of the current board: 1 only when it is active.
static int active(long channel) {
    return ReadDigitalChannel(channel) == 1;
}

// Waits, without pausing, until a digital input of the current board is released.
static void wait_release(long channel) {
    while (active(channel)) {
    }
}

// One tuning step of the edited radio with the panel's counter and pauses, then shows it.
static void panel_step(int up) {
    rmu_tune_step(up, &press_length2, RMU_PANEL);
    rmu_fsuipc_read();
    rmu_display();
}

int k8055_tuning_panel(void) {
    if (active(1)) { // radio select
        rmu_edit += 1;
        if (rmu_edit == 7)
            rmu_edit = 1;
        rmu_display();
        wait_release(1);
        return 0;
    }
    if (active(2)) { // step down
        panel_step(0);
        return 1;
    }
    if (active(3)) { // step up
        panel_step(1);
        return 1;
    }
    if (active(4)) { // swap
        rmu_swap(RMU_PANEL);
        wait_release(4);
        rmu_fsuipc_read();
        rmu_display();
        return 1;
    }
    if (active(5)) { // silence the master warning and caution
        silence = 1;
        return 0;
    }
    press_length2 = 0;
    return 0;
}

int k8055_inputs(void) {
    int result = 0;
    if (vel_zero == 1) {
        SetCurrentDevice(0);
        if (k8055_tuning_panel())
            result = 1;
        if (spd == 0)
            k8055_axes(0);
        FSUIPC_Process(&dwResult);
    }
    if (vel_one == 1) {
        SetCurrentDevice(1);
        if (k8055_switches(1))
            result = 1;
        k8055_axes(1);
        FSUIPC_Process(&dwResult);
    }
    if (vel_two == 1) {
        SetCurrentDevice(2);
        if (k8055_switches(2))
            result = 1;
        k8055_axes(2);
        FSUIPC_Process(&dwResult);
    }
    if (vel_three == 1) {
        SetCurrentDevice(3);
        if (k8055_switches(3))
            result = 1;
        k8055_axes(3);
        FSUIPC_Process(&dwResult);
    }
    rmu_display();
    if (k8055_pass_end_hook != NULL)
        k8055_pass_end_hook();
    Sleep(50);
    return result;
}
