// Where everything sits: the picker sheet rectangles the RMU drawing cuts from, and the places
// on the 504 x 700 face where those pieces land. The generator draws exactly into these.
#pragma once

struct art_rect {
    int x, y, w, h;
};

// ---- The face ----
enum { FACE_W = 504, FACE_H = 700 };
enum { FACE_BG_X = 10, FACE_BG_Y = 10 }; // pixel holding the window's background colour

// ---- The picker sheet ----
enum { PICK_W = 560, PICK_H = 590 };
enum { GLYPH_W = 27, GLYPH_H = 32 }; // one digit or point cell, on the sheet and on the face

// Glyph rows: digit d of a style at (x + 27 * d, y); the point is the eleventh cell.
enum glyph_style { STYLE_ACTIVE = 0, STYLE_STANDBY = 1, STYLE_ADF = 2, STYLE_COUNT = 3 };
static const art_rect PICK_DIGIT_ACTIVE = {12, 17, GLYPH_W, GLYPH_H};
static const art_rect PICK_DIGIT_STANDBY = {12, 72, GLYPH_W, GLYPH_H};
static const art_rect PICK_DIGIT_ADF = {12, 125, GLYPH_W, GLYPH_H};
static const art_rect PICK_POINT_ACTIVE = {282, 17, GLYPH_W, GLYPH_H};
static const art_rect PICK_POINT_STANDBY = {282, 72, GLYPH_W, GLYPH_H};
static const art_rect PICK_POINT_ADF = {282, 125, GLYPH_W, GLYPH_H};

static const art_rect PICK_EDIT_HIGHLIGHT = {21, 526, 198, 48};
static const art_rect PICK_LINK_DOWN_BANNER = {228, 534, 314, 30};
static const art_rect PICK_BOARDS_BANNER = {288, 386, 246, 88};

// The eight audio selector lamps, in drawing order: sources on the sheet, place on the face.
struct lamp_place {
    const char *name;   // legend on the key
    art_rect unlit;     // unlit image on the sheet
    art_rect lit;       // lit image on the sheet
    int dest_x, dest_y; // top-left corner on the face (the size is the image's)
};
enum { LAMP_COUNT = 8 };
static const lamp_place LAMPS[LAMP_COUNT] = {
    {"COM1", {22, 183, 98, 40}, {169, 183, 98, 40}, 40, 560},
    {"COM2", {22, 225, 102, 40}, {169, 224, 102, 40}, 155, 560},
    {"NAV1", {30, 266, 85, 40}, {177, 266, 85, 40}, 275, 560},
    {"NAV2", {30, 309, 88, 40}, {177, 309, 90, 40}, 380, 560},
    {"BOTH", {25, 351, 96, 40}, {172, 351, 96, 40}, 42, 630},
    {"ADF1", {28, 393, 88, 40}, {176, 393, 88, 40}, 160, 630},
    {"MKR", {32, 435, 78, 40}, {179, 435, 78, 40}, 279, 630},
    {"DME", {32, 477, 72, 40}, {179, 477, 72, 40}, 388, 630},
};

// ---- Places on the face ----
// Text rows: x of character 0, y, number of cells, glyph style.
struct text_row {
    const char *name;
    int x0, y, cells, style;
};
enum { TEXT_ROW_COUNT = 10 };
static const text_row TEXT_ROWS[TEXT_ROW_COUNT] = {
    {"com1_disp1", 53, 72, 7, STYLE_ACTIVE},   {"com1_disp2", 53, 140, 7, STYLE_STANDBY},
    {"nav1_disp1", 53, 232, 7, STYLE_ACTIVE},  {"nav1_disp2", 53, 300, 7, STYLE_STANDBY},
    {"com2_disp1", 267, 72, 7, STYLE_ACTIVE},  {"com2_disp2", 267, 140, 7, STYLE_STANDBY},
    {"nav2_disp1", 267, 232, 7, STYLE_ACTIVE}, {"nav2_disp2", 267, 300, 7, STYLE_STANDBY},
    {"xpndr_disp", 53, 392, 4, STYLE_ACTIVE},  {"adf_disp", 267, 392, 6, STYLE_ADF},
};

// Edit highlight for rmu_edit 1 to 6 (index 0 unused), each 198 x 48 on the face.
static const art_rect FACE_EDIT_HIGHLIGHT[7] = {
    {0, 0, 0, 0},        {48, 133, 198, 48}, {262, 133, 198, 48}, {48, 292, 198, 48},
    {262, 292, 198, 48}, {48, 385, 198, 48}, {262, 385, 198, 48},
};

static const art_rect FACE_LINK_DOWN_BANNER = {96, 257, 314, 50};
static const art_rect FACE_BOARDS_BANNER = {132, 240, 246, 88};

// The six recessed display windows of the face (ours, not fixed by the drawing code): each holds
// one radio's rows and its edit highlight.
static const art_rect FACE_WINDOWS[6] = {
    {38, 62, 214, 128},   // COM1
    {257, 62, 214, 128},  // COM2
    {38, 222, 214, 128},  // NAV1
    {257, 222, 214, 128}, // NAV2
    {38, 377, 214, 64},   // ATC (transponder)
    {257, 377, 214, 64},  // ADF
};
static const char *const FACE_WINDOW_LABELS[6] = {"COM1", "COM2", "NAV1", "NAV2", "ATC", "ADF"};
