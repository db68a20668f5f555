// Seven-segment digits and the decimal point, slanted like the displays of real radio units,
// each in a 27 x 32 cell on the display glass colour.
#include <math.h>

#include "artwork/artwork.h"

// Digit outline inside the cell, before slanting (cell pixels).
static const float LEFT = 4.5f, RIGHT = 22.5f, TOP = 2.5f, BOTTOM = 29.5f, MIDDLE = 16.0f;
static const float THICK = 4.8f;  // segment thickness
static const float SPACE = 0.6f;  // gap where two segments meet
static const float SLANT = 0.10f; // x shift per pixel of height
static const float TAPER = 0.8f;  // length of a segment's pointed end, in half thicknesses

// Segments a (top), b (top right), c (bottom right), d (bottom), e (bottom left), f (top left),
// g (middle), one bit each from a upwards.
static const int DIGIT_SEGMENTS[10] = {
    0x3F, // 0: a b c d e f
    0x06, // 1: b c
    0x5B, // 2: a b d e g
    0x4F, // 3: a b c d g
    0x66, // 4: b c f g
    0x6D, // 5: a c d f g
    0x7D, // 6: a c d e f g
    0x07, // 7: a b c
    0x7F, // 8: all
    0x6F, // 9: a b c d f g
};

enum { MAX_POLYS = 7, POLY_POINTS = 6 };
struct poly_set {
    int count;
    int points[MAX_POLYS];
    float x[MAX_POLYS][POLY_POINTS], y[MAX_POLYS][POLY_POINTS];
};

static void slant_point(float *x, float y) {
    *x += (MIDDLE - y) * SLANT;
}

static void add_poly(poly_set *set, const float *xs, const float *ys, int n, float ox, float oy) {
    int k = set->count++;
    set->points[k] = n;
    for (int i = 0; i < n; i++) {
        float x = xs[i];
        slant_point(&x, ys[i]);
        set->x[k][i] = ox + x;
        set->y[k][i] = oy + ys[i];
    }
}

static void add_horizontal(poly_set *set, float xa, float xb, float yc, float ox, float oy) {
    float h = THICK * 0.5f, t = h * TAPER;
    float xs[6] = {xa, xa + t, xb - t, xb, xb - t, xa + t};
    float ys[6] = {yc, yc - h, yc - h, yc, yc + h, yc + h};
    add_poly(set, xs, ys, 6, ox, oy);
}

static void add_vertical(poly_set *set, float xc, float ya, float yb, float ox, float oy) {
    float h = THICK * 0.5f, t = h * TAPER;
    float xs[6] = {xc, xc + h, xc + h, xc, xc - h, xc - h};
    float ys[6] = {ya, ya + t, yb - t, yb, yb - t, ya + t};
    add_poly(set, xs, ys, 6, ox, oy);
}

// Distance from the nearest convex polygon of the set (exact inside, close enough outside).
static float polys_distance(float x, float y, const void *shape) {
    const poly_set *set = (const poly_set *)shape;
    float best = 1e9f;
    for (int k = 0; k < set->count; k++) {
        int n = set->points[k];
        float area = 0;
        for (int i = 0; i < n; i++) {
            int j = (i + 1) % n;
            area += set->x[k][i] * set->y[k][j] - set->x[k][j] * set->y[k][i];
        }
        float side = area > 0 ? 1.0f : -1.0f;
        float worst = -1e9f;
        for (int i = 0; i < n; i++) {
            int j = (i + 1) % n;
            float ex = set->x[k][j] - set->x[k][i], ey = set->y[k][j] - set->y[k][i];
            float len = sqrtf(ex * ex + ey * ey);
            if (len <= 0)
                continue;
            // Outward normal of the edge.
            float nx = ey / len * side, ny = -ex / len * side;
            float d = (x - set->x[k][i]) * nx + (y - set->y[k][i]) * ny;
            if (d > worst)
                worst = d;
        }
        if (worst < best)
            best = worst;
    }
    return best;
}

static void style_colours(int style, int *core, int *edge) {
    switch (style) {
    case STYLE_STANDBY:
        *core = COL_STANDBY;
        *edge = COL_STANDBY_EDGE;
        break;
    case STYLE_ADF:
        *core = COL_ADF;
        *edge = COL_ADF_EDGE;
        break;
    default:
        *core = COL_ACTIVE;
        *edge = COL_ACTIVE_EDGE;
        break;
    }
}

void draw_glyph(BITMAP *bmp, int x, int y, int glyph, int style) {
    rectfill(bmp, x, y, x + GLYPH_W - 1, y + GLYPH_H - 1, COL_GLASS);
    poly_set set;
    set.count = 0;
    float ox = (float)x, oy = (float)y;
    float h = THICK * 0.5f;
    float lx = LEFT + h, rx = RIGHT - h, ty = TOP + h, by = BOTTOM - h;
    if (glyph >= 0 && glyph <= 9) {
        int bits = DIGIT_SEGMENTS[glyph];
        if (bits & 0x01)
            add_horizontal(&set, lx + SPACE, rx - SPACE, ty, ox, oy);
        if (bits & 0x02)
            add_vertical(&set, rx, ty + SPACE, MIDDLE - SPACE, ox, oy);
        if (bits & 0x04)
            add_vertical(&set, rx, MIDDLE + SPACE, by - SPACE, ox, oy);
        if (bits & 0x08)
            add_horizontal(&set, lx + SPACE, rx - SPACE, by, ox, oy);
        if (bits & 0x10)
            add_vertical(&set, lx, MIDDLE + SPACE, by - SPACE, ox, oy);
        if (bits & 0x20)
            add_vertical(&set, lx, ty + SPACE, MIDDLE - SPACE, ox, oy);
        if (bits & 0x40)
            add_horizontal(&set, lx + SPACE, rx - SPACE, MIDDLE, ox, oy);
    } else {
        // The point: a small square on the base line, in the middle of its cell.
        float c = GLYPH_W * 0.5f, s = THICK * 0.6f;
        float xs[4] = {c - s, c + s, c + s, c - s};
        float ys[4] = {BOTTOM - 2 * s, BOTTOM - 2 * s, BOTTOM, BOTTOM};
        add_poly(&set, xs, ys, 4, ox, oy);
    }
    int core, edge;
    style_colours(style, &core, &edge);
    paint_shape(bmp, x, y, x + GLYPH_W - 1, y + GLYPH_H - 1, polys_distance, &set, core, edge);
}
