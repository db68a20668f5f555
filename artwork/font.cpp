// A chamfered stroke font, like engraved panel lettering: every character is a few polylines on
// a grid 4 units wide and 6 high, drawn with a round pen at any size.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "artwork/artwork.h"

struct glyph_def {
    char c;
    float width;         // grid units
    const char *strokes; // "x,y x,y ...|x,y ..." polylines
};

static const glyph_def GLYPHS[] = {
    {'A', 4, "0,6 0,1.5 1.5,0 2.5,0 4,1.5 4,6|0,3.6 4,3.6"},
    {'B', 4, "0,3 3,3 4,4 4,5 3,6 0,6 0,0 3,0 4,1 4,2 3,3"},
    {'C', 4, "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5"},
    {'D', 4, "0,0 2.6,0 4,1.4 4,4.6 2.6,6 0,6 0,0"},
    {'E', 4, "4,0 0,0 0,6 4,6|0,3 3,3"},
    {'F', 4, "4,0 0,0 0,6|0,3 3,3"},
    {'G', 4, "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,3.4 2.2,3.4"},
    {'H', 4, "0,0 0,6|4,0 4,6|0,3 4,3"},
    {'I', 2, "1,0 1,6"},
    {'J', 4, "4,0 4,5 3,6 1,6 0,5"},
    {'K', 4, "0,0 0,6|4,0 0,3.8|1.4,2.5 4,6"},
    {'L', 4, "0,0 0,6 4,6"},
    {'M', 5, "0,6 0,0 2.5,3.5 5,0 5,6"},
    {'N', 4, "0,6 0,0 4,6 4,0"},
    {'O', 4, "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0"},
    {'P', 4, "0,6 0,0 3,0 4,1 4,2.4 3,3.4 0,3.4"},
    {'Q', 4, "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0|2.4,4.4 4,6.2"},
    {'R', 4, "0,6 0,0 3,0 4,1 4,2.4 3,3.4 0,3.4|2.2,3.4 4,6"},
    {'S', 4, "4,1 3,0 1,0 0,1 0,2 1,3 3,3 4,4 4,5 3,6 1,6 0,5"},
    {'T', 4, "0,0 4,0|2,0 2,6"},
    {'U', 4, "0,0 0,5 1,6 3,6 4,5 4,0"},
    {'V', 4, "0,0 2,6 4,0"},
    {'W', 5, "0,0 1.2,6 2.5,2.6 3.8,6 5,0"},
    {'X', 4, "0,0 4,6|4,0 0,6"},
    {'Y', 4, "0,0 2,3 4,0|2,3 2,6"},
    {'Z', 4, "0,0 4,0 0,6 4,6"},
    {'0', 4, "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0"},
    {'1', 3, "0.4,1.2 1.8,0 1.8,6"},
    {'2', 4, "0,1 1,0 3,0 4,1 4,2.2 0,6 4,6"},
    {'3', 4, "0,1 1,0 3,0 4,1 4,2 3,3 1.4,3|3,3 4,4 4,5 3,6 1,6 0,5"},
    {'4', 4, "3,6 3,0 0,4.2 4,4.2"},
    {'5', 4, "4,0 0.2,0 0,3 3,3 4,4 4,5 3,6 1,6 0,5"},
    {'6', 4, "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,4 3,3 0,3"},
    {'7', 4, "0,0 4,0 1.4,6"},
    {'8', 4, "1,3 0,2 0,1 1,0 3,0 4,1 4,2 3,3 1,3 0,4 0,5 1,6 3,6 4,5 4,4 3,3"},
    {'9', 4, "4,3 1,3 0,2 0,1 1,0 3,0 4,1 4,5 3,6 1,6 0,5"},
    {'-', 3, "0.3,3.2 2.7,3.2"},
    {'.', 1, "0.5,5.9 0.5,5.9"},
    {'/', 3, "0,6 3,0"},
    {' ', 2, ""},
};
enum { GAP_UNITS = 2 }; // space between letters, grid units

static const glyph_def *find_glyph(char c) {
    for (size_t i = 0; i < sizeof GLYPHS / sizeof GLYPHS[0]; i++)
        if (GLYPHS[i].c == c)
            return &GLYPHS[i];
    return NULL;
}

// The strokes of a whole text as pen segments, in pixels.
enum { MAX_SEGMENTS = 400 };
struct segment_set {
    int count;
    float x0[MAX_SEGMENTS], y0[MAX_SEGMENTS], x1[MAX_SEGMENTS], y1[MAX_SEGMENTS];
    float half_pen, aspect;
};

static float unit_x(const text_style *st) {
    return st->cap / 6.0f * st->narrow;
}

float text_width(const char *s, const text_style *st) {
    float units = 0;
    for (; *s; s++) {
        const glyph_def *g = find_glyph(*s);
        if (g)
            units += g->width + GAP_UNITS;
    }
    if (units > 0)
        units -= GAP_UNITS;
    return units * unit_x(st) + st->pen;
}

// Reads "x,y" pairs and '|' breaks of one glyph into segments placed at (ox, oy).
static void add_glyph(segment_set *set, const glyph_def *g, float ox, float oy, float ux,
                      float uy) {
    const char *p = g->strokes;
    int have_last = 0;
    float lx = 0, ly = 0;
    while (*p) {
        if (*p == '|') {
            have_last = 0;
            p++;
            continue;
        }
        if (*p == ' ') {
            p++;
            continue;
        }
        char *end;
        float gx = strtof(p, &end);
        p = end + 1; // past the comma
        float gy = strtof(p, &end);
        p = end;
        float x = ox + gx * ux, y = oy + gy * uy;
        if (have_last && set->count < MAX_SEGMENTS) {
            set->x0[set->count] = lx;
            set->y0[set->count] = ly;
            set->x1[set->count] = x;
            set->y1[set->count] = y;
            set->count++;
        }
        lx = x;
        ly = y;
        have_last = 1;
    }
}

// Distance from the nearest pen stroke; y distances count aspect times (stretched later).
static float strokes_distance(float x, float y, const void *shape) {
    const segment_set *set = (const segment_set *)shape;
    float best = 1e9f;
    for (int i = 0; i < set->count; i++) {
        float ax = set->x0[i], ay = set->y0[i];
        float bx = set->x1[i] - ax, by = set->y1[i] - ay;
        float px = x - ax, py = y - ay;
        float len2 = bx * bx + by * by;
        float t = len2 > 0 ? (px * bx + py * by) / len2 : 0;
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        float dx = px - t * bx, dy = (py - t * by) * set->aspect;
        float d = sqrtf(dx * dx + dy * dy);
        if (d < best)
            best = d;
    }
    return best - set->half_pen;
}

void draw_text(BITMAP *bmp, const char *s, float x, float y, const text_style *st) {
    static segment_set set;
    set.count = 0;
    set.half_pen = st->pen * 0.5f;
    set.aspect = st->aspect;
    float pen_y = set.half_pen / st->aspect; // the pen's reach upwards and downwards
    float ux = unit_x(st), uy = (st->cap - 2 * pen_y) / 6.0f; // strokes inside the cap height
    float ox = x + set.half_pen, oy = y + pen_y;
    for (; *s; s++) {
        const glyph_def *g = find_glyph(*s);
        if (!g)
            continue;
        add_glyph(&set, g, ox, oy, ux, uy);
        ox += (g->width + GAP_UNITS) * ux;
    }
    int x0 = (int)floorf(x) - 1, y0 = (int)floorf(y) - 1;
    int x1 = (int)ceilf(ox) + 1, y1 = (int)ceilf(y + st->cap) + 1;
    paint_shape(bmp, x0, y0, x1, y1, strokes_distance, &set, st->core, st->edge);
}

void draw_text_centre(BITMAP *bmp, const char *s, float cx, float y, const text_style *st) {
    draw_text(bmp, s, cx - text_width(s, st) * 0.5f, y, st);
}
