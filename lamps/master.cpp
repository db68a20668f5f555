// The master warning and master caution lamps of board 0, driven at the end of every input
// poll: the warning flashes with the simulator clock's seconds (lit in even seconds), the
// caution is steady, and both stay dark while silenced or without electrical power.
#include "lamps/lamps.h"
#include "k8055/k8055.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

#define MASTER_WARNING_CHANNEL 7
#define MASTER_CAUTION_CHANNEL 8

int k8055_warn_caution(void) {
    if (vel_zero != 1)
        return 0;

    SetCurrentDevice(0);
    if (silence == 0 && electrics == 1) {
        // The seconds byte lands in the low byte; the upper bytes of seconds stay 0.
        if (!FSUIPC_Read(0x023A, 1, &seconds, &dwResult) || !FSUIPC_Process(&dwResult)) {
            // No fresh seconds: the warning lamp stays as it is for this poll.
            connect_to_sim();
        } else if (warn == 1.0f) {
            if (seconds % 2 == 0)
                SetDigitalChannel(MASTER_WARNING_CHANNEL);
            else
                ClearDigitalChannel(MASTER_WARNING_CHANNEL);
        } else {
            ClearDigitalChannel(MASTER_WARNING_CHANNEL);
        }
        if (caution == 1.0f)
            SetDigitalChannel(MASTER_CAUTION_CHANNEL);
        else
            ClearDigitalChannel(MASTER_CAUTION_CHANNEL);
    } else {
        ClearDigitalChannel(MASTER_WARNING_CHANNEL);
        ClearDigitalChannel(MASTER_CAUTION_CHANNEL);
    }
    return 0;
}
