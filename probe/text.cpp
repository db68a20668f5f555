// The probe's text: the link line, every value the cockpit reads with its raw value, the state
// the program decodes from it and the lamps it drives, grouped as the wiring groups them.
#include "probe/probe.h"
#include "app/app.h"
#include "aircraft/aircraft.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

#include <stdarg.h>
#include <string.h>

// How a value's decoded state is told.
enum {
    SHOW_FLAG,
    SHOW_LEG,
    SHOW_GEAR_LEVER,
    SHOW_INPUT,
    SHOW_GROUND,
    SHOW_ALTITUDE,
    SHOW_FIRES,
    SHOW_PUMPS,
    SHOW_XFEED,
    SHOW_APU
};

// A value of a board's group: how it is told, its flag with the words for 1 and 0, and up to
// three lamps it drives (board, output; output 0 ends).
typedef struct {
    int how;
    const int32_t *flag;
    const char *set, *clear;
    int lamps[3][2];
} probe_row;

#define MW                                                                                         \
    { 0, 7 } // master warning
#define MC                                                                                         \
    { 0, 8 } // master caution
#define A(n) LAMP_ANALOG(n)

static const probe_row rows_zero[] = {
    {SHOW_LEG, &gear_nose, "", "", {{0, 2}, {0, 5}}},
    {SHOW_LEG, &gear_left, "", "", {{0, 1}, {0, 4}}},
    {SHOW_LEG, &gear_right, "", "", {{0, 3}, {0, 6}}},
    {SHOW_GEAR_LEVER, &gear, "GEAR WARNING", "no gear warning", {{2, A(2)}, MW}},
    {SHOW_INPUT, NULL, "", "", {}},
    {SHOW_INPUT, NULL, "", "", {}},
    {SHOW_GROUND, NULL, "", "", {}},
    {SHOW_INPUT, NULL, "", "", {}},
    {SHOW_ALTITUDE, NULL, "", "", {}},
    {SHOW_FLAG, &l_oil_press_low, "LOW", "ok", {MW}},
    {SHOW_FLAG, &l_fuel_press_low, "LOW", "ok", {MW}},
    {SHOW_FLAG, &r_oil_press_low, "LOW", "ok", {MW}},
    {SHOW_FLAG, &r_fuel_press_low, "LOW", "ok", {MW}},
    {SHOW_FLAG, &eng1_generator, "OFF LINE", "on line", {MC}},
    {SHOW_FLAG, &eng2_generator, "OFF LINE", "on line", {MC}},
    {SHOW_FLAG, &normal_brakes_fail, "FAILED", "ok", {MW}},
    {SHOW_FIRES, NULL, "", "", {{3, 3}, {3, 4}, MW}},
    {SHOW_FLAG, &stall, "STALL", "no stall", {{3, 7}, MW}},
    {SHOW_FLAG, &overspeed, "OVERSPEED", "no overspeed", {{2, A(1)}, MW}},
    {SHOW_APU, NULL, "", "", {{0, A(1)}}},
};

static const probe_row rows_one[] = {
    {SHOW_FLAG, &fd1, "ON", "off", {{1, 1}}}, {SHOW_FLAG, &hdg, "ON", "off", {{1, 2}}},
    {SHOW_FLAG, &nav, "ON", "off", {{1, 3}}}, {SHOW_FLAG, &app, "ON", "off", {{1, 4}}},
    {SHOW_FLAG, &ap, "ON", "off", {{1, 5}}},  {SHOW_FLAG, &yd, "ON", "off", {{1, 6}}},
    {SHOW_FLAG, &spd, "ON", "off", {{1, 7}}}, {SHOW_FLAG, &alt, "ON", "off", {{1, 8}}},
};

static const probe_row rows_two[] = {
    {SHOW_FLAG, &gen1_switch, "on", "OFF", {{2, 1}}},
    {SHOW_FLAG, &gen2_switch, "on", "OFF", {{2, 2}}},
    {SHOW_FLAG, &main_batt_switch, "on", "OFF", {{2, 3}}},
    {SHOW_PUMPS, NULL, "", "", {{2, 4}, {2, 5}}},
    {SHOW_XFEED, NULL, "", "", {{2, 6}, MC}},
    {SHOW_FLAG, &apu_fire, "FIRE", "no fire", {{2, 7}, MW}},
    {SHOW_FLAG, &anti_ice, "on", "OFF", {{2, 8}}},
};

static const probe_row rows_three[] = {
    {SHOW_FLAG, &r_start, "ENGAGED", "off", {{3, 6}}},
    {SHOW_FLAG, &l_start, "ENGAGED", "off", {{3, 1}}},
    {SHOW_FLAG, &l_ign_switch, "ON", "off", {{3, 2}}},
    {SHOW_FLAG, &r_ign_switch, "ON", "off", {{3, 5}}},
    {SHOW_FLAG, &stall, "STALL", "no stall", {{3, 7}}},
    {SHOW_FLAG, &pitot_heat, "on", "OFF", {{3, A(1)}}},
    {SHOW_FIRES, NULL, "", "", {{3, 3}, {3, 4}}},
};

static const probe_row *const rows[4] = {rows_zero, rows_one, rows_two, rows_three};
static const char *const group_titles[4] = {
    "Board 0: gear, engines and warnings", "Board 1: autopilot modes",
    "Board 2: electrics and fuel", "Board 3: starters, ignition, stall, pitot"};

// Appends formatted text to out.
static void add(char *out, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
static void add(char *out, size_t size, const char *format, ...) {
    size_t used = strlen(out);
    if (used + 1 >= size)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(out + used, size - used, format, args);
    va_end(args);
}

// The decoded state of one value, from the flags the shared decoding set.
static void decoded(const probe_row *row, double raw, char *out, size_t size) {
    static const char *const legs[3] = {"transit", "up", "down"};
    switch (row->how) {
    case SHOW_FLAG:
        add(out, size, "%s", *row->flag == 1 ? row->set : row->clear);
        break;
    case SHOW_LEG:
        add(out, size, "%s", *row->flag >= -1 && *row->flag <= 1 ? legs[*row->flag + 1] : "?");
        break;
    case SHOW_GEAR_LEVER:
        add(out, size, "%s, %s",
            raw == 0       ? "up"
            : raw == 16383 ? "down"
                           : "between",
            gear == 1 ? row->set : row->clear);
        break;
    case SHOW_GROUND:
        add(out, size, "%s", on_ground == 1 ? "on the ground" : "airborne");
        break;
    case SHOW_ALTITUDE:
        add(out, size, "%.0f ft", raw / 21052.63);
        break;
    case SHOW_FIRES:
        add(out, size, "engine 1 %s, engine 2 %s", l_eng_fire ? "FIRE" : "no fire",
            r_eng_fire ? "FIRE" : "no fire");
        break;
    case SHOW_PUMPS:
        add(out, size, "pump 1 %s, pump 2 %s", lamp_output(2, 4) ? "on" : "off",
            lamp_output(2, 5) ? "on" : "off");
        break;
    case SHOW_XFEED:
        add(out, size, "%s", fuel_xfeed == 1 ? "OPEN" : "closed");
        break;
    case SHOW_APU:
        add(out, size, "%.1f %%, radios %s by the APU", (double)apu_speed,
            apu_power_byte(apu_speed) ? "powered" : "not powered");
        break;
    default:
        add(out, size, "(gear warning input)");
    }
}

// The state of one lamp as the refresh would drive it.
static void lamp_text(int board, int output, char *out, size_t size) {
    long level = lamp_output(board, output);
    const char *kind = output > 8 ? "a" : "d";
    int channel = output > 8 ? output - 8 : output;
    add(out, size, "%s", out[strlen(out) - 1] == ' ' ? "->" : ",");
    if (board == 0 && output == LAMP_ANALOG(1))
        add(out, size, " b%d.%s%d %s %ld", board, kind, channel, lamp_name(board, output), level);
    else if (board == 0 && output == 7)
        add(out, size, " b%d.%s%d %s %s", board, kind, channel, lamp_name(board, output),
            level ? "FLASHING" : "off");
    else
        add(out, size, " b%d.%s%d %s %s", board, kind, channel, lamp_name(board, output),
            level ? "ON" : "off");
}

// The raw value as received: floats with a decimal, the rest as whole numbers.
static void raw_text(const aircraft_value *r, double raw, char *out, size_t size) {
    if (r->kind == 'f')
        add(out, size, "%.1f", raw);
    else
        add(out, size, "%.0f", raw);
}

int probe_format_row(int group, int index, char *out, size_t size) {
    const aircraft_value *r = &aircraft_group_reads[group][index];
    const probe_row *row = &rows[group][index];
    int first = RMU_READS;
    for (int g = 0; g < group; g++)
        for (const aircraft_value *p = aircraft_group_reads[g]; p->size != 0; p++)
            first++;
    double raw = first + index < probe_raw_count ? probe_raw[first + index] : 0;
    char value[24] = "", state[64] = "";
    raw_text(r, raw, value, sizeof value);
    decoded(row, raw, state, sizeof state);
    out[0] = 0;
    add(out, size, "  0x%04X %u %-18s %11s  %-28s ", (unsigned)r->offset, (unsigned)r->size,
        r->name, value, state);
    // A value the aircraft's profile takes from elsewhere: where from, and what it gave.
    if (const profile_item *p = aircraft_read_source(r->name)) {
        if (p->src.fixed)
            add(out, size, "[profile: fixed %g] ", p->src.value);
        else
            add(out, size, "[profile: 0x%04X %u = %g] ", (unsigned)p->src.offset,
                (unsigned)p->src.size, aircraft_source_value(p));
    }
    for (int i = 0; i < 3 && row->lamps[i][1] != 0; i++)
        lamp_text(row->lamps[i][0], row->lamps[i][1], out, size);
    // No trailing blank when the value drives no lamp.
    size_t end = strlen(out);
    while (end > 0 && out[end - 1] == ' ')
        out[--end] = 0;
    return 0;
}

// The radios: each word with the text the RMU shows for it.
static void print_radios(void) {
    static const char *const texts[11] = {com1_disp1, com2_disp1, nav1_disp1, nav2_disp1,
                                          com1_disp2, com2_disp2, nav1_disp2, nav2_disp2,
                                          xpndr_disp, adf_disp,   adf_disp};
    printf("Radios (unit %s)\n", electrics ? "powered" : "UNPOWERED");
    for (int i = 0; i < RMU_READS; i++) {
        const rmu_read *r = &rmu_reads[i];
        unsigned raw = i < probe_raw_count ? (unsigned)probe_raw[i] : 0;
        char word[16];
        snprintf(word, sizeof word, "0x%04X", raw);
        if (i < 11)
            printf("  0x%04X %u %-18s %11s  %s\n", (unsigned)r->offset, (unsigned)r->size, r->name,
                   word, texts[i]);
        else if (i < 13)
            printf("  0x%04X %u %-18s %11u  radios %s  b3.d8 power %s\n", (unsigned)r->offset,
                   (unsigned)r->size, r->name, raw, electrics ? "powered" : "UNPOWERED",
                   lamp_output(3, 8) ? "ON" : "off");
        else
            printf("  0x%04X %u %-18s %11s  COM1 %d COM2 %d BOTH %d NAV1 %d NAV2 %d MKR %d DME "
                   "%d ADF %d\n",
                   (unsigned)r->offset, (unsigned)r->size, r->name, word, com1_sel, com2_sel,
                   both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel, adf1_sel);
    }
}

// The last waiting result shown, so a log to a file says it once (-1: none).
static DWORD waiting_shown = (DWORD)-1;

void probe_print_snapshot(void) {
    char line[256];
    DWORD now = GetTickCount();
    double seconds = (now - probe_since) / 1000.0;
    waiting_shown = (DWORD)-1;
    if (probe_tty)
        printf("\033[H\033[J");
    printf("valdora-probe: link %s, server version 0x%08X, simulator type %u; %u exchanges in "
           "%.1f s (%.1f/s), %.2f ms each\n",
           FSUIPC_Server_Class, (unsigned)FSUIPC_Version, (unsigned)FSUIPC_FS_Version,
           (unsigned)probe_exchanges, seconds, seconds > 0 ? probe_exchanges / seconds : 0.0,
           probe_exchanges ? (double)probe_exchange_ms / probe_exchanges : 0.0);
    if (sim_address[0]) // over the network: the last exchange's round trip
        printf("valdora-probe: round trip %.2f ms\n", sim_net_last_rtt_us / 1000.0);
    probe_exchanges = 0;
    probe_exchange_ms = 0;
    probe_since = now;
    printf("aircraft \"%s\" at \"%s\": %s (%s)\n", aircraft_title, aircraft_path,
           aircraft_profile < 0 ? "built-in" : aircraft_profiles[aircraft_profile].name,
           aircraft_rule);
    for (const char *e = aircraft_profile_errors; *e != '\0';) {
        const char *end = strchr(e, '\n');
        int n = end != NULL ? (int)(end - e) : (int)strlen(e);
        printf("bad profile %.*s\n", n, e);
        e += n + (end != NULL);
    }
    print_radios();
    for (int group = 0; group < 4; group++) {
        printf("%s\n", group_titles[group]);
        for (int i = 0; aircraft_group_reads[group][i].size != 0; i++) {
            probe_format_row(group, i, line, sizeof line);
            printf("%s\n", line);
        }
    }
    printf("Master lamps (when not silenced): b0.d7 master-warning %s, b0.d8 master-caution %s\n",
           lamp_output(0, 7) ? "FLASHING" : "off", lamp_output(0, 8) ? "ON" : "off");
    if (probe_boards)
        probe_print_boards();
    fflush(stdout);
}

void probe_print_waiting(DWORD code) {
    if (probe_tty)
        printf("\033[H\033[J");
    else if (code == waiting_shown)
        return;
    waiting_shown = code;
    printf("waiting for the simulator: %s (result %u)\n", FSUIPC_Result_Text(code), (unsigned)code);
    fflush(stdout);
}

void probe_print_lost(const char *call, DWORD code) {
    printf("lost the simulator: %s failed, result %u (%s)\n", call, (unsigned)code,
           FSUIPC_Result_Text(code));
    fflush(stdout);
}
