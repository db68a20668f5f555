// Program-wide state of the application core, with its initial values.
#include "app/app.h"

std::atomic<int> loop(1);
int update_bg = 0;
volatile int push_request = 1;
HDC hdc = NULL;
int screen_colour_depth = 0;

int width = 280;
int height = 400;
int gap = 75;
int extra_border = 0;
int angle = 0;
int blur = 0;
long xpos = 0, ypos = 0;
int current_width = 1024;
int current_height = 768;
float x_scale_factor = 0.0f;
float y_scale_factor = 0.0f;
BITMAP *disp = NULL;
BITMAP *pick = NULL;
BITMAP *bg = NULL;
BITMAP *scrat = NULL;
PALETTE palette;

FILE *inifile = NULL;

char buffer[128];
uint8_t char_value, char_value2, char_value3, char_value4, char_value5;
int16_t short_value;
uint16_t ushort_value, ushort_value2;
int32_t long_value, long_value2, long_value3, long_value4;
int32_t long_value5, long_value6, long_value7, long_value8;
uint32_t ulong_value;
