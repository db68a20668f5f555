// Drawing primitives of the generator: shapes painted by coverage (4 x 4 samples a pixel),
// bevelled rounded rectangles, screws, the tuning knob and engraved grooves.
#include <math.h>

#include "artwork/artwork.h"

enum { SAMPLES = 4 };

void paint_shape(BITMAP *bmp, int x0, int y0, int x1, int y1, shape_fn f, const void *shape,
                 int core, int edge) {
    for (int y = y0; y <= y1; y++) {
        for (int x = x0; x <= x1; x++) {
            int in = 0;
            for (int sy = 0; sy < SAMPLES; sy++)
                for (int sx = 0; sx < SAMPLES; sx++)
                    if (f(x + (sx + 0.5f) / SAMPLES, y + (sy + 0.5f) / SAMPLES, shape) < 0)
                        in++;
            if (in * 2 >= SAMPLES * SAMPLES)
                putpixel(bmp, x, y, core);
            else if (edge >= 0 && in * 5 >= SAMPLES * SAMPLES)
                putpixel(bmp, x, y, edge);
        }
    }
}

float rrect_distance(float x, float y, art_rect r, float radius) {
    float hw = r.w * 0.5f, hh = r.h * 0.5f;
    float qx = fabsf(x - (r.x + hw)) - (hw - radius);
    float qy = fabsf(y - (r.y + hh)) - (hh - radius);
    float ox = qx > 0 ? qx : 0, oy = qy > 0 ? qy : 0;
    float inside = qx > qy ? qx : qy;
    return sqrtf(ox * ox + oy * oy) + (inside < 0 ? inside : 0) - radius;
}

void bevel_rrect(BITMAP *bmp, art_rect r, float radius, int rim, int bevel, int raised, int rim_col,
                 int light_col, int dark_col, int fill_col) {
    for (int y = r.y; y < r.y + r.h; y++) {
        for (int x = r.x; x < r.x + r.w; x++) {
            float px = x + 0.5f, py = y + 0.5f;
            float d = rrect_distance(px, py, r, radius);
            if (d >= 0)
                continue;
            float depth = -d;
            int c = fill_col;
            if (depth < rim) {
                c = rim_col;
            } else if (depth < rim + bevel) {
                // Which way the outline faces: light falls from the top left.
                float nx = rrect_distance(px + 0.5f, py, r, radius) -
                           rrect_distance(px - 0.5f, py, r, radius);
                float ny = rrect_distance(px, py + 0.5f, r, radius) -
                           rrect_distance(px, py - 0.5f, r, radius);
                float facing = nx + ny; // negative: faces up or left
                if (!raised)
                    facing = -facing;
                if (facing < -0.15f)
                    c = light_col;
                else if (facing > 0.15f)
                    c = dark_col;
            }
            putpixel(bmp, x, y, c);
        }
    }
}

void screw(BITMAP *bmp, int cx, int cy, int radius, float slot_angle) {
    float sa = sinf(slot_angle), ca = cosf(slot_angle);
    for (int y = cy - radius - 1; y <= cy + radius + 1; y++) {
        for (int x = cx - radius - 1; x <= cx + radius + 1; x++) {
            float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
            float d = sqrtf(dx * dx + dy * dy);
            if (d > radius + 0.5f)
                continue;
            int c;
            if (d > radius - 0.7f) {
                c = COL_RECESS; // the countersink's shadow
            } else {
                float shade = -(dx + dy) / (radius * 1.41f); // 1 at top-left, -1 at bottom-right
                c = shade > 0.35f ? COL_SCREW_HI : shade < -0.35f ? COL_SCREW_LO : COL_SCREW;
                float across = fabsf(dx * sa - dy * ca); // distance from the slot's centre line
                if (across < radius * 0.2f && d < radius - 1.2f)
                    c = COL_SCREW_SLOT;
            }
            putpixel(bmp, x, y, c);
        }
    }
}

void knob(BITMAP *bmp, int cx, int cy, int outer, int inner) {
    for (int y = cy - outer - 3; y <= cy + outer + 3; y++) {
        for (int x = cx - outer - 3; x <= cx + outer + 3; x++) {
            float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
            float d = sqrtf(dx * dx + dy * dy);
            float shade = -(dx + dy) / (d + 0.001f); // +1.41 facing top-left, -1.41 bottom-right
            float a = atan2f(dy, dx);
            int c;
            if (d > outer + 3) {
                continue;
            } else if (d > outer) {
                c = COL_RECESS; // the shadow ring in the plate around the knob
            } else if (d > inner + 3) {
                // Outer knob: a grip of ridges round the rim, lit from the top left.
                float grip = d > outer - 5 ? sinf(a * 20) * 0.6f : 0;
                float light = shade * 0.55f + grip;
                c = light > 0.35f ? COL_KNOB_HI : light < -0.35f ? COL_KNOB_LO : COL_KNOB;
                if (d > outer - 1)
                    c = COL_KNOB_LO;
            } else if (d > inner) {
                c = COL_RECESS; // gap between the two knobs
            } else {
                // Inner knob: domed cap with a rim and a pointer line towards the top.
                float light = shade * 0.6f;
                c = light > 0.45f ? COL_KNOB_HI : light < -0.45f ? COL_KNOB_LO : COL_KNOB;
                if (d > inner - 2)
                    c = shade > 0 ? COL_KNOB_HI : COL_KNOB_LO;
                if (fabsf(dx) < 1.5f && dy < -inner * 0.3f && dy > -(inner - 4))
                    c = COL_KNOB_MARK;
            }
            putpixel(bmp, x, y, c);
        }
    }
}

void engraved_line(BITMAP *bmp, int x0, int x1, int y) {
    if (x1 < x0)
        return;
    hline(bmp, x0, y, x1, COL_BODY_LO);
    hline(bmp, x0, y + 1, x1, COL_BODY_LO);
    hline(bmp, x0, y + 2, x1, COL_BODY_HI);
}
