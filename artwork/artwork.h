// The artwork generator's own procedures: palette, drawing primitives, the stroke font, the
// seven-segment glyphs, and the face and picker sheet they make up.
#pragma once

#include <allegro.h>

#include "artwork/layout.h"

// Palette entries. Both sets share these indices and differ only in the colours behind them, so
// the night set has the same geometry pixel for pixel.
enum colour_index {
    COL_UNUSED = 0, // never drawn: index 0 is the mask colour on an 8-bit screen
    COL_FILL,       // window background, picker fill, the face's corners
    COL_CASE_EDGE,  // outermost rim of the case
    COL_BODY_HI,    // bevel catching the light
    COL_BODY,       // painted front plate
    COL_BODY_LO,    // bevel in shadow
    COL_RECESS,     // deep recess around windows and keys
    COL_GLASS,      // display window, glyph cell background
    COL_GLASS_LINE, // faint divider in the glass
    COL_LABEL,      // engraved legends
    COL_LABEL_EDGE, // legend edge, half way to the plate
    COL_LABEL_DIM,  // secondary legends
    COL_SCREW_HI,   // screw heads: lit side, face, shaded side, slot
    COL_SCREW,
    COL_SCREW_LO,
    COL_SCREW_SLOT,
    COL_KNOB_HI, // tuning knob: lit side, face, shaded side, pointer
    COL_KNOB,
    COL_KNOB_LO,
    COL_KNOB_MARK,
    COL_ACTIVE, // active frequency and transponder digits; each ink has an edge shade after it
    COL_ACTIVE_EDGE,
    COL_STANDBY, // standby frequency digits
    COL_STANDBY_EDGE,
    COL_ADF, // ADF digits
    COL_ADF_EDGE,
    COL_HILITE, // edit highlight frame
    COL_HILITE_EDGE,
    COL_KEY_HI, // audio selector key caps: lit side, face, shaded side, legend
    COL_KEY,
    COL_KEY_LO,
    COL_KEY_LEGEND,
    COL_KEY_LEGEND_EDGE,
    COL_LAMP_OFF, // indicator bar of a key, unlit
    COL_LAMP_ON,  // indicator bar and legend of a key, lit
    COL_LAMP_ON_EDGE,
    COL_WARN, // link-down banner frame and text
    COL_WARN_EDGE,
    COL_INFO, // boards-starting banner text and frame
    COL_INFO_EDGE,
    COL_INFO_FRAME,
    COL_COUNT
};

enum art_set { SET_DAY = 0, SET_NIGHT = 1 };

// ---- palette.cpp ----
void art_palette(int set, PALETTE pal); // fills the 256 entries for one artwork set

// ---- shapes.cpp ----
// Signed distance of a point from a shape's outline, negative inside.
typedef float (*shape_fn)(float x, float y, const void *shape);
// Paints a shape over a box of pixels: mostly covered pixels in core, partly covered ones in edge
// (edge < 0: left as they are).
void paint_shape(BITMAP *bmp, int x0, int y0, int x1, int y1, shape_fn f, const void *shape,
                 int core, int edge);
float rrect_distance(float x, float y, art_rect r, float radius); // rounded rectangle
// A rounded rectangle with a dark rim and a bevel: raised (light top-left) or sunk (light
// bottom-right), filled with fill.
void bevel_rrect(BITMAP *bmp, art_rect r, float radius, int rim, int bevel, int raised, int rim_col,
                 int light_col, int dark_col, int fill_col);
void screw(BITMAP *bmp, int cx, int cy, int radius, float slot_angle); // a slotted screw head
void knob(BITMAP *bmp, int cx, int cy, int outer, int inner); // dual concentric tuning knob
void engraved_line(BITMAP *bmp, int x0, int x1, int y);       // a horizontal groove in the plate

// ---- font.cpp ----
struct text_style {
    float cap;    // cap height in pixels
    float narrow; // width of a letter relative to the plain font (1.0)
    float pen;    // stroke width in pixels
    float aspect; // how much taller the text is drawn later (stretched banners), else 1.0
    int core, edge;
};
float text_width(const char *s, const text_style *st); // advance of a whole text
void draw_text(BITMAP *bmp, const char *s, float x, float y, const text_style *st); // top-left
void draw_text_centre(BITMAP *bmp, const char *s, float cx, float y, const text_style *st);

// ---- segments.cpp ----
// One 27 x 32 glyph cell at (x, y): digit 0 to 9, or 10 for the point.
void draw_glyph(BITMAP *bmp, int x, int y, int glyph, int style);

// ---- face.cpp / picker.cpp ----
BITMAP *make_face(void);   // the 504 x 700 front of the unit
BITMAP *make_picker(void); // the sheet of glyphs, highlight, lamps and banners
void draw_key(BITMAP *bmp, art_rect r, const char *legend, int lit); // one selector key cap

// ---- preview.cpp ----
int make_previews(const char *folder); // composes sample window pictures from the saved files
