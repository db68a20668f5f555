// Program-wide state of the radio management unit, with its initial values.
#include "rmu/rmu.h"

char com1_disp1[8] = "000.000", com1_disp2[8] = "000.000";
char com2_disp1[8] = "000.000", com2_disp2[8] = "000.000";
char nav1_disp1[8] = "000.000", nav1_disp2[8] = "000.000";
char nav2_disp1[8] = "000.000", nav2_disp2[8] = "000.000";
char xpndr_disp[5] = "0000";
char adf_disp[7] = "0000.0";
uint16_t read_freq1, read_freq2, read_freq3, read_freq4, read_freq5, read_freq6;
uint16_t read_freq7, read_freq8, read_freq9, read_freq10, read_freq11;
uint8_t power_byte_a = 0;
uint8_t power_byte_b = 0;
uint8_t radio_audio_switches = 0;
int com1_sel, com2_sel, both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel, adf1_sel;
int rmu_edit = 1;
int electrics = 0;

int press_length2 = 0;
float freq = 0.0f;
int calc = 0;
int x0, x1, x2, x3;
uint8_t swaps = 0;

int keypress = 0;
int press_length = 0;
int about_to_init_k8055 = 0;
