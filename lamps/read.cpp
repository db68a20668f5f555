// The lamp-state read of every main-loop pass: each present board's group is read in one
// exchange and decoded into the lamp-state flags, and the board-0 group tells the radios
// whether a running APU powers them.
#include "lamps/lamps.h"
#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "simlink/simlink.h"

// Queues a group's reads and sends them; a failed queueing or exchange reconnects at once,
// and the group decodes all the same. The aircraft's profile, when one is in use, adds its
// sources to the exchange and puts them in the standard values' place before decoding. While the
// autostart runs an engine, that engine's ignition lamp shows what the autostart set, not the
// simulator.
static void read_group(int group) {
    for (const aircraft_value *r = aircraft_group_reads[group]; r->size != 0; r++)
        if (!FSUIPC_Read(r->offset, r->size, r->dest, &dwResult))
            connect_to_sim();
    if (!aircraft_queue_group(group))
        connect_to_sim();
    if (!FSUIPC_Process(&dwResult))
        connect_to_sim();
    int32_t ignition1 = l_ign_switch, ignition2 = r_ign_switch;
    aircraft_apply_group(group);
    aircraft_decode_group(group);
    if (eng1_starting != 0)
        l_ign_switch = ignition1;
    if (eng2_starting != 0)
        r_ign_switch = ignition2;
}

uint8_t apu_power_byte(float speed) {
    return (double)speed < 50.0 ? 0 : 1;
}

void k8055_fsuipc_read(int unused) {
    (void)unused;
    if (vel_zero == 1) {
        read_group(0);
        Sleep(20);
        // A spooled-up APU powers the radios.
        char_value5 = apu_power_byte(apu_speed);
        if (!FSUIPC_Write(0x0B52, 1, &char_value5, &dwResult) || !FSUIPC_Process(&dwResult))
            connect_to_sim();
    }
    if (vel_one == 1)
        read_group(1);
    if (vel_two == 1)
        read_group(2);
    if (vel_three == 1)
        read_group(3);
}
