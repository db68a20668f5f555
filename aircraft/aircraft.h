// The aircraft as the program reads it: the values the lamps, the inputs and the autostart
// take from the simulator, the tables of where each one is read, and the rules that decode them.
#pragma once

#include "platform/platform.h"

// ---- Aircraft state read ----
extern int32_t gear_nose, gear_left, gear_right;           // 0 up, 1 down, -1 in transit
extern int32_t gear;                                       // gear warning
extern int32_t count;                                      // debounce counter of leg disagreement
extern int16_t on_ground;                                  // 1 on the ground (with hysteresis)
extern int32_t l_oil_press_low, r_oil_press_low;           // oil pressure low
extern int32_t l_fuel_press_low, r_fuel_press_low;         // fuel pressure low
extern int32_t eng1_generator, eng2_generator;             // 1 when the generator is not on line
extern int32_t gen_fail, emer_batt;                        // one / both generators off line
extern int32_t normal_brakes_fail;                         // normal brakes failed
extern int32_t l_eng_fire, r_eng_fire;                     // engine fires
extern int32_t stall, overspeed;                           // stall and overspeed warnings
extern int32_t fd1, hdg, nav, app, ap, yd, spd, alt;       // autopilot modes
extern int32_t gen1_switch, gen2_switch, main_batt_switch; // electrical switches on
extern uint8_t fuel_pumps;                                 // raw fuel pump byte
extern uint8_t fuel_xfeed;                                 // raw crossfeed byte; 1 is open
extern int32_t apu_fire, anti_ice;                         // APU fire, anti-ice on
extern int32_t l_start, r_start;                           // starters engaged
extern int32_t l_ign_switch, r_ign_switch;                 // ignition on (also set by autostart)
extern int32_t pitot_heat;                                 // pitot heat on
extern int32_t gear_commanded;                             // gear lever: 0 up, 16383 down
extern int16_t on_ground_check;                            // simulator's on-ground report
extern int32_t flaps_check;                                // flap lever position
extern int16_t eng1_throttle_pos, eng2_throttle_pos; // throttle levers (the axes send them too)
extern float fsx_apu_speed; // the simulator's own APU speed, when it reports one
// Warning contributors no simulator source feeds; kept as watched values and contributors.
extern int32_t l_rev_unsafe, l_eng_pylon_ovht, l_bleed_air_leak, wing_ovht, wing_stab_leak;
extern int32_t stab_ovht, r_bleed_air_leak, r_eng_pylon_ovht, r_rev_unsafe;

// One simulator value a board's group reads: offset, width, where it is received, how the
// received bytes are taken ('s' signed, 'u' unsigned, 'f' float) and what it is.
typedef struct {
    DWORD offset;
    DWORD size;
    void *dest;
    char kind;
    const char *name;
} aircraft_value;

extern const aircraft_value *const aircraft_group_reads[4]; // each group's reads, size 0 ends
void aircraft_decode_group(int group); // turns a group's received values into its flags

// ---- Which aircraft is loaded ----
#define AIRCRAFT_TITLE_OFFSET 0x3D00 // the aircraft's title, 256 bytes, zero-terminated
#define AIRCRAFT_PATH_OFFSET 0x3C00  // the path of its aircraft file, 256 bytes
#define AIRCRAFT_IDENTITY_MS 500     // the identity is read at least this often
extern char aircraft_title[257], aircraft_path[257]; // as last read ("" before the first)
extern int aircraft_profile;             // index of the profile in use, -1 for the built-in
extern char aircraft_rule[160];          // the rule that chose it, as the log tells it
extern int32_t aircraft_outputs_serial;  // grows whenever a lamp's source or profile changes
void aircraft_identity_queue(void);      // queues the identity reads when they are due
void aircraft_identity_received(int ok); // after the exchange: a change chooses the profile

// ---- Profiles: where an aircraft keeps what the standard offsets do not give ----
#define PROFILE_FOLDER "profiles"      // beside the program, one file per aircraft family
#define PROFILE_MAX 64                 // profiles taken from the folder; the rest are reported
#define PROFILE_FILE_MAX 65536         // a larger file is reported and not used
#define PROFILE_RULES 16               // match rules of one profile
#define PROFILE_ITEMS 48               // reads, lamps and writes of one profile
#define PROFILE_TEXT 128               // longest name, pattern or file name
#define AIRCRAFT_CONTROL_OFFSET 0x3110 // send a control: number (4 bytes), parameter (4 bytes)

// Where a profile takes a value: an offset of a size and type whose raw value becomes the
// standard value as raw * scale + add, or a fixed value.
typedef struct {
    uint16_t offset;
    uint8_t size; // 1, 2, 4 or 8
    char type;    // 'u' unsigned, 's' signed, 'f' floating point (4 or 8 bytes)
    double scale, add;
    int fixed; // 1: value, no offset is read
    double value;
} profile_source;

enum profile_kind { PROFILE_READ, PROFILE_LAMP, PROFILE_WRITE };

typedef struct {
    enum profile_kind kind;
    const char *name;  // the standard name (a read's or write's), or the lamp's wiring name
    int board, output; // a lamp's output, numbered as lamp_output numbers it
    profile_source src;
    char test;         // a lamp's condition: '=' equals, '!' differs, '>' above, '<' below,
                       // '&' shares a bit with the operand
    double operand;    // what the condition compares with
    char mode;         // a write: 'o' to an offset, 'c' as a control, 'n' not at all
    uint32_t control;  // the control's number
    int parameter_set; // 1: the parameter below; 0: the value written
    int32_t parameter;
    uint8_t raw[8]; // the source's bytes as last received
} profile_item;

typedef struct {
    char file[PROFILE_TEXT]; // the file it came from
    char name[PROFILE_TEXT]; // its own name, else the file's
    int rule_count;
    struct {
        char on; // 'p' the path, 't' the title
        char pattern[PROFILE_TEXT];
    } rules[PROFILE_RULES];
    int item_count;
    profile_item items[PROFILE_ITEMS];
} aircraft_profile_t;

extern aircraft_profile_t aircraft_profiles[PROFILE_MAX]; // the profiles read, in file order
extern int aircraft_profile_count;                        // how many
extern char aircraft_profile_errors[2048]; // the last load's messages, one a line ("" none)

// Reads one profile file's text; 0, or -1 with "FILE:LINE: what is wrong" in error.
int profile_parse(const char *text, size_t size, const char *file, aircraft_profile_t *out,
                  char *error, size_t error_size);
// 1 when the pattern (case-insensitive, '*' any run, '/' and '\' alike) is found in the text
// (an empty one anywhere: the reader refuses empty patterns).
int profile_pattern_found(const char *pattern, const char *text);
// The first profile whose rules match, or -1; rule receives the rule that matched.
int profile_choose(const char *title, const char *path, char *rule, size_t rule_size);
int aircraft_load_profiles(const char *folder); // reads the folder, logs bad files; how many
// The write table's own spelling of a write's name, or NULL when the program writes no such value.
const char *aircraft_write_name(const char *name);

// ---- A profile at work (nothing changes while the built-in is in use) ----
int aircraft_queue_group(int group);  // queues the sources of that group's board; 0 if one failed
void aircraft_apply_group(int group); // puts the received sources in the standard values' place
int aircraft_lamp_override(int board, int output, long *lit); // 1 when the profile drives it
// Writes a standard value as the profile says (another offset, a control, or nothing), else
// as FSUIPC_Write; the same truth value and result.
BOOL aircraft_write(DWORD offset, DWORD size, void *src, DWORD *result);
// A profile's source of a read, when the active profile changes it (else NULL).
const profile_item *aircraft_read_source(const char *name);
double aircraft_source_value(const profile_item *item); // its last value, in standard units
extern int aircraft_logging; // 1: changes and bad files go to valdora.log (not from the probe)
