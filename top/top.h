// The program's top: start-up, the main pass and shutdown. Nothing below this folder calls into
// it; the subsystems reach it only through the hooks it sets (the wait for the simulator).
#pragma once

#include "platform/platform.h"

int start_link_and_boards(void); // start-up from the simulator link on: radios, banner, boards
int main_pass(void);             // one pass of the main loop
int idle_step(void);             // the pending keys, then the background when a layout asked for it
int sim_wait_pass(void);         // one pass of the wait for the simulator: unpowered RMU, idle_step
int close_program(void);         // closes the simulator link, then Allegro
int draw_artwork_error(void);    // draws the "Bitmap File Missing" message in both panels
int show_artwork_error(void);    // the error screen, then waits for a key or the window's close
