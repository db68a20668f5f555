// Radio management unit: radio state, tuning rules, drawing and keyboard editing.
#pragma once

#include "platform/platform.h"

// ---- Radio state, read from the simulator ----
extern char com1_disp1[8], com1_disp2[8];   // COM1 active and standby frequency texts
extern char com2_disp1[8], com2_disp2[8];   // COM2 active and standby frequency texts
extern char nav1_disp1[8], nav1_disp2[8];   // NAV1 active and standby frequency texts
extern char nav2_disp1[8], nav2_disp2[8];   // NAV2 active and standby frequency texts
extern char xpndr_disp[5];                  // transponder code text
extern char adf_disp[7];                    // ADF1 frequency text such as 0350.0
extern uint16_t read_freq1, read_freq2, read_freq3, read_freq4, read_freq5, read_freq6;
extern uint16_t read_freq7, read_freq8, read_freq9, read_freq10, read_freq11; // raw words
extern uint8_t power_byte_a;                // last byte read from 0x0B6A (1: unpowered)
extern uint8_t power_byte_b;                // last byte read from 0x0B52 (1: powered anyway)
extern uint8_t radio_audio_switches;        // audio selector byte, one bit per selector
extern int com1_sel, com2_sel, both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel, adf1_sel;
extern int rmu_edit;                        // radio being edited: 1 COM1 ... 5 XPDR, 6 ADF
extern int electrics;                       // 1 while the unit has power

int rmu_fsuipc_read(void);                  // reads all radios, selectors and power

// ---- Tuning rules ----
enum { RMU_KEYBOARD = 0, RMU_PANEL = 1 };   // which control's pause column a step uses
extern int press_length2;                   // press counter of the board-0 tuning panel
extern float freq;                          // working value of a COM, NAV or ADF step
extern int calc;                            // packed BCD word being assembled
extern int x0, x1, x2, x3;                  // transponder digits, x0 the most significant
extern uint8_t swaps;                       // byte written by a swap

void rmu_tune_step(int up, int *counter, int control); // one step of the edited radio
void rmu_swap(int control);                 // swaps active and standby of the edited radio

// ---- Drawing ----
int rmu_display(void);                      // draws both RMU panels and puts them on screen

// ---- Keyboard ----
extern int keypress;                        // last key code read (scancode << 8 | character)
int rmu_keypress(void);                     // handles one pending key
