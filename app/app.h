// Application core: the window and artwork, the layout operations, the settings file and the
// log, plus the run flag and the scratch values every subsystem shares.
#pragma once

#include "platform/platform.h"

#include <atomic>

// ---- Run flag and requests that the program's top acts on ----
// Run flag: 1 while running, 0 once the window was closed (by the close hook, on whatever
// thread the graphics library delivers it: an atomic, so the main thread sees it at once).
extern std::atomic<int> loop;
extern int update_bg;             // 1 asks for the background to be put on the screen again
extern volatile int push_request; // 1: something else drew on the screen, push the next RMU
extern HDC hdc;                   // the screen's device context
extern int screen_colour_depth;   // bits per pixel of the desktop

void exit_hook(void);      // window close hook: clears loop
void request_push(void);   // asks for the next RMU picture to be pushed (any thread)
int draw_background(void); // puts bg on the screen, turned a quarter in portrait

// ---- Window and artwork ----
#define LAYOUT_MIN_WIDTH 150  // narrowest panel the shrink key leaves
#define LAYOUT_MIN_HEIGHT 210 // shortest panel the shrink key leaves
#define LAYOUT_MIN_GAP (-9)   // narrowest gap: the panels then overlap by 9 pixels
extern int width;             // width of one RMU panel in pixels
extern int height;            // height of one panel in pixels
extern int gap;               // pixels between the two panels (down to -9)
extern int extra_border;      // extra pixels around the pair, in total per direction
extern int angle;             // picture turn: 0, 64, 128 or 192 (256 per full turn)
extern int blur;              // 0 first artwork set, 1 alternative set
extern long xpos, ypos;       // outer top-left corner of the window on the screen
extern int current_width;     // largest content width: the desktop less 8
extern int current_height;    // largest content height: the desktop less 32
extern float x_scale_factor;  // width / 504.0: face design x to panel pixels
extern float y_scale_factor;  // height / 700.0: face design y to panel pixels
extern BITMAP *disp;          // the RMU face artwork
extern BITMAP *pick;          // the picker sheet (glyphs, highlight, lamps, banners)
extern BITMAP *bg;            // flat background of the window's content size (landscape)
extern BITMAP *scrat;         // work surface on which both panels are composed
extern PALETTE palette;       // palette filled by load_bitmap

int init_window(void);         // sets the graphics mode, places the window, hooks close
int create_bitmaps(void);      // loads the artwork set and builds bg; -1 when a file is missing
int layout_portrait(void);     // 1 when angle makes the window portrait (64 or 192)
int window_outer_width(void);  // outer window width for the current layout and orientation
int window_outer_height(void); // outer window height for the current layout and orientation
int place_window(void);        // SetWindowPos at xpos, ypos with the layout's outer size
int put_turned(BITMAP *sprite, int x, int y, fixed turn, fixed scale); // masked, turned draw
BITMAP *create_background(void); // a new bitmap of the landscape content size in disp's (10, 10)

// ---- Settings file ----
#define INI_FILE "vd60_rmu.ini" // the settings file, in the working folder
#define INI_LINES 41            // its lines: the window's place, layout, calibration, one unread
extern FILE *inifile;           // the settings file while it is open
int load_ini_file(void);        // reads "vd60_rmu.ini" into the layout and calibration values
int save_ini_file(void);        // writes "vd60_rmu.ini" with the window's place at shutdown
int write_ini_file(long left, long top); // the 41 lines, crash-safe where it can; -1 on failure

// ---- Layout operations ----
int layout_refresh_position(void); // xpos, ypos from the window's current rectangle
int layout_keypress(int code);     // runs the layout operation of a key code; 1 if it was one
int layout_rebuild(void);          // rebuilds bg and scrat, resizes the window, asks for a redraw
int layout_fit_to_desktop(void);   // fits a layout too large for the desktop, as a turn does

// ---- Log ----
#define VALDORA_VERSION "V2.08" // the program's version, as titles, messages and the log show it
extern long log_limit;          // size in bytes at which valdora.log is set aside (1 MB)
extern int (*log_rename)(const char *from, const char *to); // rename (tests: other systems')
int log_time_stamp(char *out, size_t size, int millis);     // local "YYYY-MM-DD HH:MM:SS[.mmm]"
int log_start(void);                   // the start line: version, settings, desktop, artwork set
int log_event(const char *format, ...) // appends one time-stamped line; -1 when not written
    __attribute__((format(printf, 1, 2)));

// ---- Scratch values shared by every subsystem, one exchange at a time ----
extern char buffer[128]; // shared text buffer
extern uint8_t char_value, char_value2, char_value3, char_value4, char_value5;
extern int16_t short_value;
extern uint16_t ushort_value, ushort_value2;
extern int32_t long_value, long_value2, long_value3, long_value4;
extern int32_t long_value5, long_value6, long_value7, long_value8;
extern uint32_t ulong_value;
