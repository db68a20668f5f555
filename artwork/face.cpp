// The 504 x 700 front of the radio management unit: case, recessed display windows, engraved
// legends, the tuning knob, the audio selector keys in their wells, and the corner screws.
#include "artwork/artwork.h"

static const art_rect CASE = {6, 6, 492, 688};
static const float CASE_RADIUS = 30; // leaves pixel (10, 10) outside the case, in the fill

static const text_style WINDOW_LABEL = {14, 1.0f, 3.0f, 1.0f, COL_LABEL, COL_LABEL_EDGE};
static const text_style BRAND = {17, 1.05f, 3.4f, 1.0f, COL_LABEL, COL_LABEL_EDGE};
static const text_style MODEL = {10, 1.0f, 2.2f, 1.0f, COL_LABEL_DIM, -1};
static const text_style SECTION = {11, 1.0f, 2.4f, 1.0f, COL_LABEL_DIM, -1};

enum { KNOB_X = 420, KNOB_Y = 484, KNOB_OUTER = 30, KNOB_INNER = 18 };
enum { AUDIO_LABEL_Y = 528 };

// A display window sunk into the plate; radio windows get a faint line between their rows.
static void display_window(BITMAP *bmp, art_rect w, int divided) {
    bevel_rrect(bmp, w, 6, 1, 3, 0, COL_CASE_EDGE, COL_BODY_HI, COL_RECESS, COL_GLASS);
    if (divided) {
        int y = w.y + 55;
        rectfill(bmp, w.x + 12, y, w.x + w.w - 13, y + 1, COL_GLASS_LINE);
    }
}

// The window's legend above its top-left corner, with a groove running on to its right edge.
static void window_label(BITMAP *bmp, art_rect w, const char *label) {
    int y = w.y - 22;
    draw_text(bmp, label, w.x + 4, y, &WINDOW_LABEL);
    int end = w.x + 4 + (int)text_width(label, &WINDOW_LABEL);
    engraved_line(bmp, end + 9, w.x + w.w - 5, y + 6);
}

// The audio section: a heading between two grooves, then every key in its well.
static void audio_keys(BITMAP *bmp) {
    const char *heading = "AUDIO";
    float half = text_width(heading, &SECTION) * 0.5f;
    int cx = FACE_WINDOWS[0].x + (FACE_WINDOWS[1].x + FACE_WINDOWS[1].w - FACE_WINDOWS[0].x) / 2;
    draw_text(bmp, heading, cx - half, AUDIO_LABEL_Y, &SECTION);
    engraved_line(bmp, FACE_WINDOWS[0].x + 4, (int)(cx - half) - 12, AUDIO_LABEL_Y + 4);
    engraved_line(bmp, (int)(cx + half) + 12, FACE_WINDOWS[1].x + FACE_WINDOWS[1].w - 5,
                  AUDIO_LABEL_Y + 4);
    for (int i = 0; i < LAMP_COUNT; i++) {
        const lamp_place *l = &LAMPS[i];
        int w = l->unlit.w > l->lit.w ? l->unlit.w : l->lit.w;
        art_rect well = {l->dest_x - 3, l->dest_y - 3, w + 6, l->unlit.h + 6};
        bevel_rrect(bmp, well, 6, 0, 2, 0, COL_RECESS, COL_BODY_HI, COL_RECESS, COL_RECESS);
        art_rect cap = {l->dest_x, l->dest_y, l->unlit.w, l->unlit.h};
        draw_key(bmp, cap, l->name, 0);
    }
}

BITMAP *make_face(void) {
    BITMAP *bmp = create_bitmap_ex(8, FACE_W, FACE_H);
    if (!bmp)
        return NULL;
    clear_to_color(bmp, COL_FILL);
    bevel_rrect(bmp, CASE, CASE_RADIUS, 2, 4, 1, COL_CASE_EDGE, COL_BODY_HI, COL_BODY_LO, COL_BODY);

    for (int i = 0; i < 6; i++) {
        display_window(bmp, FACE_WINDOWS[i], i < 4);
        window_label(bmp, FACE_WINDOWS[i], FACE_WINDOW_LABELS[i]);
    }

    // Maker's plate on the left, tuning knob on the right.
    int left = FACE_WINDOWS[0].x + 4;
    draw_text(bmp, "VALDORA", left, 462, &BRAND);
    draw_text(bmp, "RMU  VD-60", left, 488, &MODEL);
    knob(bmp, KNOB_X, KNOB_Y, KNOB_OUTER, KNOB_INNER);

    audio_keys(bmp);

    screw(bmp, 24, 24, 7, 0.4f);
    screw(bmp, FACE_W - 25, 24, 7, 1.3f);
    screw(bmp, 24, FACE_H - 25, 7, 2.1f);
    screw(bmp, FACE_W - 25, FACE_H - 25, 7, 0.9f);
    return bmp;
}
