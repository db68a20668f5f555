// The APU spool value that the lamps show: follows the simulator's own APU speed when it
// reports one, otherwise climbs or falls by 2 % a main-loop pass with the APU switch.
#include "lamps/lamps.h"
#include "k8055/k8055.h"

int apu_spool_step(void) {
    if ((double)fsx_apu_speed > 0.001) {
        apu_speed = fsx_apu_speed;
    } else if (apu_status == 1 && (double)apu_speed < 100.0) {
        apu_speed += 2.0f;
    } else if (apu_status == 0 && (double)apu_speed > 0.0) {
        apu_speed -= 2.0f;
    }
    return 0;
}
