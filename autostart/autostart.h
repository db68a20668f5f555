// Engine autostart: the four-phase start sequencer of each engine.
#pragma once

extern int eng1_starting, eng2_starting;       // 1 while the engine's automatic start runs
extern int eng1_start_phase, eng2_start_phase; // the engine's phase, 1 to 4
extern int eng_autostart;                      // 1: start buttons hand engines to the sequencer

int engine_autostart(void); // advances each starting engine by one phase
