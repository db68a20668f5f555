// The stand-in's aircraft: which one is loaded (its title at 0x3D00 and the path of its
// aircraft file at 0x3C00, 256 bytes each), switched by writing its number to the stand-in's own
// offset 0xFF00 (`valdora-sim aircraft NAME`). Today's jet and the trainer family feed every
// standard offset. The add-on jet, like many add-on aircraft, leaves some standard offsets
// unfed (clients read them as 0) and keeps those values in its own bytes of the user area, and
// takes COM1 standby only as a simulator control: a write to 0x311A is ignored.
#include "sim/sim.h"

#include <string.h>

const sim_fleet_entry sim_fleet[] = {
    {"jet", "Valdora Twin Jet", "SimObjects\\Airplanes\\Valdora Twin Jet\\aircraft.cfg", 0},
    {"addon", "Addon Twin Jet House Colours", "SimObjects\\Airplanes\\Addon Twin Jet\\aircraft.cfg",
     1},
    {"addon-cargo", "Addon Twin Jet Cargo", "SimObjects\\Airplanes\\Addon Twin Jet\\aircraft.cfg",
     1},
    {"trainer", "Valdora Trainer White", "SimObjects\\Airplanes\\Valdora Trainer\\aircraft.cfg", 0},
    {"trainer-red", "Valdora Trainer Red", "SimObjects\\Airplanes\\Valdora Trainer\\aircraft.cfg",
     0},
    {"trainer-blue", "Valdora Trainer Blue", "SimObjects\\Airplanes\\Valdora Trainer\\aircraft.cfg",
     0},
    {NULL, NULL, NULL, 0},
};

int sim_aircraft_now = 0;

// Standard offsets the add-on leaves unfed: gear legs, oil pressures, heading and altitude hold.
static const struct {
    uint32_t offset, size;
} unfed[] = {{0x0BEC, 4}, {0x0BF4, 4}, {0x0BF0, 4}, {0x08BA, 2},
             {0x0952, 2}, {0x07C8, 4}, {0x07D0, 4}};

static uint32_t com1_standby_kept; // what the add-on's COM1 standby really is

static int addon(void) {
    return sim_fleet[sim_aircraft_now].addon;
}

static void put_text(uint32_t offset, const char *text) {
    memset(sim_offsets + offset, 0, 256);
    memcpy(sim_offsets + offset, text, strlen(text));
}

static void load(int n) {
    sim_aircraft_now = n;
    put_text(0x3D00, sim_fleet[n].title);
    put_text(0x3C00, sim_fleet[n].path);
    com1_standby_kept = sim_get(0x311A, 2);
}

static void aircraft_reset(void) {
    load(0);
    sim_set(SIM_AIRCRAFT_SELECT, 1, 0);
}

// The add-on's own bytes: gear legs down (0/1) at 0x66C0-0x66C2, oil pressures in psi (16384
// standard units are 55 psi) at 0x66C4 and 0x66C6, heading and altitude hold (0/1) at 0x66C8
// and 0x66C9. Zero while another aircraft is loaded.
static void aircraft_step(double seconds) {
    (void)seconds;
    static const uint32_t legs[3] = {0x0BEC, 0x0BF4, 0x0BF0};
    int on = addon();
    for (int i = 0; i < 3; i++)
        sim_set(0x66C0 + (uint32_t)i, 1, on && sim_get(legs[i], 4) == 16383);
    sim_set(0x66C4, 2, on ? (sim_get(0x08BA, 2) * 55 + 8192) / 16384 : 0);
    sim_set(0x66C6, 2, on ? (sim_get(0x0952, 2) * 55 + 8192) / 16384 : 0);
    sim_set(0x66C8, 1, on && sim_get(0x07C8, 4) == 1);
    sim_set(0x66C9, 1, on && sim_get(0x07D0, 4) == 1);
    com1_standby_kept = sim_get(0x311A, 2);
}

static void aircraft_on_write(uint32_t offset, uint32_t size) {
    if (sim_overlaps(offset, size, SIM_AIRCRAFT_SELECT, 1)) {
        uint32_t n = sim_get(SIM_AIRCRAFT_SELECT, 1);
        int count = 0;
        while (sim_fleet[count].name != NULL)
            count++;
        if (n < (uint32_t)count)
            load((int)n);
    }
    if (sim_overlaps(offset, size, SIM_CONTROL_OFFSET, 4)) {
        uint32_t control = sim_get(SIM_CONTROL_OFFSET, 4);
        uint32_t parameter = sim_get(SIM_CONTROL_OFFSET + 4, 4);
        sim_log_control(control, parameter);
        if (control == SIM_CONTROL_COM1_STANDBY_SET)
            com1_standby_kept = parameter & 0xFFFF;
        sim_set(0x311A, 2, com1_standby_kept);
    }
    if (addon() && sim_overlaps(offset, size, 0x311A, 2))
        sim_set(0x311A, 2, com1_standby_kept);
    else if (sim_overlaps(offset, size, 0x311A, 2) || sim_overlaps(offset, size, 0x3123, 1))
        com1_standby_kept = sim_get(0x311A, 2);
}

void sim_aircraft_hide(uint32_t offset, uint32_t size, uint8_t *data) {
    if (!addon())
        return;
    for (size_t i = 0; i < sizeof unfed / sizeof unfed[0]; i++)
        for (uint32_t b = 0; b < unfed[i].size; b++) {
            uint32_t at = unfed[i].offset + b;
            if (at >= offset && at - offset < size)
                data[at - offset] = 0;
        }
}

extern const sim_behaviour sim_aircraft = {"aircraft", aircraft_reset, aircraft_on_write,
                                           aircraft_step};
