// Radio management unit: radio state, tuning rules, drawing and keyboard editing.
#pragma once

#include "platform/platform.h"

// ---- Radio state, read from the simulator ----
extern char com1_disp1[8], com1_disp2[8]; // COM1 active and standby frequency texts
extern char com2_disp1[8], com2_disp2[8]; // COM2 active and standby frequency texts
extern char nav1_disp1[8], nav1_disp2[8]; // NAV1 active and standby frequency texts
extern char nav2_disp1[8], nav2_disp2[8]; // NAV2 active and standby frequency texts
extern char xpndr_disp[5];                // transponder code text
extern char adf_disp[7];                  // ADF1 frequency text such as 0350.0
extern uint16_t read_freq1, read_freq2, read_freq3, read_freq4, read_freq5, read_freq6;
extern uint16_t read_freq7, read_freq8, read_freq9, read_freq10, read_freq11; // raw words
extern uint8_t power_byte_a;         // last byte read from 0x0B6A (1: unpowered)
extern uint8_t power_byte_b;         // last byte read from 0x0B52 (1: powered anyway)
extern uint8_t radio_audio_switches; // audio selector byte, one bit per selector
extern int com1_sel, com2_sel, both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel, adf1_sel;
extern int rmu_edit;  // radio being edited: 1 COM1 ... 5 XPDR, 6 ADF
extern int electrics; // 1 while the unit has power

int rmu_fsuipc_read(void);                        // reads all radios, selectors and power
void rmu_decode_freq(uint16_t word, char *text);  // BCD COM/NAV word to a text like 123.425
void rmu_decode_xpndr(uint16_t word, char *text); // BCD transponder word to a text like 7000
void rmu_decode_adf(uint16_t main_word, uint16_t ext_word, char *text); // ADF words to 0350.0
void rmu_decode_selectors(uint8_t bits); // the eight selector flags from the selector byte
int rmu_power_flag(uint8_t byte_a, uint8_t byte_b); // 1 when the unit has power
void rmu_decode_all(void); // the texts and selector flags from the raw values last received

// One read of the radio exchange: offset, width, where it is received, what it is.
typedef struct {
    DWORD offset;
    DWORD size;
    void *dest;
    const char *name;
} rmu_read;
#define RMU_READS 14
extern const rmu_read rmu_reads[RMU_READS]; // the radio exchange's reads, in order

// ---- Tuning rules ----
enum { RMU_KEYBOARD = 0, RMU_PANEL = 1 }; // which control's pause column a step uses
extern int press_length2;                 // press counter of the board-0 tuning panel
extern float freq;                        // working value of a COM, NAV or ADF step
extern int calc;                          // packed BCD word being assembled
extern int x0, x1, x2, x3;                // transponder digits, x0 the most significant
extern uint8_t swaps;                     // byte written by a swap

void rmu_tune_step(int up, int *counter, int control); // one step of the edited radio
void rmu_swap(int control); // swaps active and standby of the edited radio
int rmu_digit(char c);      // a character as a one-digit number (non-digit: 0)
int rmu_write_now(DWORD offset, DWORD size, void *src); // one write and process; -1 on failure
void rmu_com_schedule(int counter, int control, double *step, DWORD *pause); // COM step, pause
void rmu_nav_schedule(int counter, int control, double *step, DWORD *pause); // NAV step, pause
void rmu_adf_schedule(int counter, int control, double *step, DWORD *pause); // ADF step, pause

// ---- Drawing ----
int rmu_display(void);               // draws both RMU panels and puts them on screen
extern int about_to_init_k8055;      // 1 during the one draw that shows the boards-starting banner
extern int rmu_push_always;          // test hook: 1 makes every rmu_display push
extern long rmu_pushes;              // pictures pushed to the screen so far (test hook)
int rmu_push_needed(void);           // 1 (and remembers it) when the picture must be pushed
int rmu_scale_x(int design_x);       // design x to panel pixels, truncated toward zero
int rmu_scale_y(int design_y);       // design y to panel pixels, truncated toward zero
int rmu_glyph_x(char c, int points); // picker x of a character's glyph cell
int rmu_overlay_x(void);             // screen x at which scrat is drawn (before turning)
int rmu_overlay_y(void);             // screen y at which scrat is drawn (before turning)

// The drawing list: every piece of the last picture composed, in order, so the picture can be
// drawn again elsewhere at any size from the same sheets.
enum { RMU_SHEET_FACE = 0, RMU_SHEET_PICK = 1 }; // the sheet a piece is cut from
enum {                                           // where a piece lands in scrat
    RMU_PUT_DESIGN = 0, // on the design rectangle dx, dy, dw, dh of the left face, scaled
    RMU_PUT_PAIR = 1,   // over both panels and the gap
    RMU_PUT_PANEL = 2,  // over the left panel
    RMU_PUT_COPY = 3,   // no piece: the left panel copied to the right
};
typedef struct {
    short sheet, sx, sy, sw, sh, kind, dx, dy, dw, dh;
} rmu_op;
#define RMU_MAX_OPS 160
extern rmu_op rmu_ops[RMU_MAX_OPS]; // the pieces of the last picture composed
extern int rmu_op_count;            // how many of rmu_ops are in use
void rmu_put(int sheet, int sx, int sy, int sw, int sh, int kind, int dx, int dy, int dw,
             int dh); // draws one piece into scrat and notes it in the drawing list

// ---- Keyboard ----
extern int keypress;        // last key code read (scancode << 8 | character)
extern int press_length;    // tuning keys handled in a row; the main pass resets it each pass
enum {                      // radio key codes as readkey returns them
    RMU_KEY_T = 0x1474,     // next radio
    RMU_KEY_COMMA = 0x482C, // tune down
    RMU_KEY_STOP = 0x492E,  // tune up
    RMU_KEY_S = 0x1373,     // swap
    RMU_KEY_C = 0x0363,     // COM1 audio
    RMU_KEY_V = 0x1676,     // COM2 audio
    RMU_KEY_B = 0x0262,     // both COMs audio
    RMU_KEY_N = 0x0E6E,     // NAV1 audio
    RMU_KEY_M = 0x0D6D,     // NAV2 audio
    RMU_KEY_K = 0x0B6B,     // marker audio
    RMU_KEY_E = 0x0565,     // DME audio
    RMU_KEY_A = 0x0161,     // ADF1 audio
    RMU_KEY_F1 = 0x2F00,    // calibration wizard
    RMU_KEY_F2 = 0x3000,    // the tablet panel's address, shown over the unit
};
int rmu_keypress(void);               // handles one pending key
extern int (*rmu_key_hook)(int code); // offered each typed key first; 1 when it took the key
extern void (*rmu_drawn_hook)(void);  // called after each picture put on the screen
int rmu_key_action(int code);         // acts on one key code as the key table says
