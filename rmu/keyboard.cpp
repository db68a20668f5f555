// The computer keyboard as the RMU's controls: radio selection, tuning, swaps, audio
// selectors, and the routing of the layout keys and the calibration wizard.
#include "rmu/rmu.h"

#include "app/app.h"
#include "calibration/calibration.h"
#include "simlink/simlink.h"

int (*rmu_key_hook)(int code) = NULL;

// Changes the audio selector byte and sends it to the simulator at once.
static void set_selectors(uint8_t set, uint8_t clear, uint8_t toggle) {
    radio_audio_switches |= set;
    radio_audio_switches &= (uint8_t)~clear;
    radio_audio_switches ^= toggle;
    rmu_write_now(0x3122, 1, &radio_audio_switches);
}

int rmu_keypress(void) {
    layout_refresh_position();
    keypress = readkey();
    clear_keybuf(); // one key per call: keys typed during a step's pause are dropped
    if (rmu_key_hook && rmu_key_hook(keypress))
        return 0; // taken by what the program's top put over the unit
    return rmu_key_action(keypress);
}

int rmu_key_action(int code) {
    switch (code) {
    case RMU_KEY_T:
        rmu_edit += 1;
        if (rmu_edit == 7)
            rmu_edit = 1;
        rmu_display();
        return 0;
    case RMU_KEY_F1:
        K8055_analog_cal();
        return 0;
    default:
        break;
    }
    if (layout_keypress(code))
        return 0;
    // The radio keys act only while the simulator is there to take the change.
    if (connected != 1)
        return 0;
    switch (code) {
    case RMU_KEY_COMMA:
        rmu_tune_step(0, &press_length, RMU_KEYBOARD);
        break;
    case RMU_KEY_STOP:
        rmu_tune_step(1, &press_length, RMU_KEYBOARD);
        break;
    case RMU_KEY_S:
        rmu_swap(RMU_KEYBOARD);
        break;
    case RMU_KEY_C:
        set_selectors(0x80, 0x40, 0);
        break;
    case RMU_KEY_V:
        set_selectors(0x40, 0x80, 0);
        break;
    case RMU_KEY_B:
        set_selectors(0, 0, 0x20);
        break;
    case RMU_KEY_N:
        set_selectors(0, 0, 0x10);
        break;
    case RMU_KEY_M:
        set_selectors(0, 0, 0x08);
        break;
    case RMU_KEY_K:
        set_selectors(0, 0, 0x04);
        break;
    case RMU_KEY_E:
        set_selectors(0, 0, 0x02);
        break;
    case RMU_KEY_A:
        set_selectors(0, 0, 0x01);
        break;
    default:
        break; // any other key does nothing
    }
    return 0;
}
