// The picker sheet: every piece the RMU drawing cuts out (glyphs in three styles, the edit
// highlight, lit and unlit selector keys, two banners), each at its fixed rectangle.
#include <math.h>

#include "artwork/artwork.h"

static const text_style KEY_LEGEND = {13, 1.0f, 2.8f, 1.0f, COL_KEY_LEGEND, COL_KEY_LEGEND_EDGE};
static const text_style KEY_LEGEND_LIT = {13, 1.0f, 2.8f, 1.0f, COL_LAMP_ON, COL_LAMP_ON_EDGE};
static const text_style SHEET_NOTE = {9, 1.0f, 1.8f, 1.0f, COL_LABEL_DIM, -1};
static const text_style BOARDS_TEXT = {16, 1.0f, 3.0f, 1.0f, COL_INFO, COL_INFO_EDGE};

// The link-down banner is drawn 50 rows high from its 30: its text is drawn that much flatter.
static const float LINK_DOWN_STRETCH = (float)FACE_LINK_DOWN_BANNER.h / PICK_LINK_DOWN_BANNER.h;

void draw_key(BITMAP *bmp, art_rect r, const char *legend, int lit) {
    rectfill(bmp, r.x, r.y, r.x + r.w - 1, r.y + r.h - 1, COL_RECESS);
    bevel_rrect(bmp, r, 4, 1, 2, 1, COL_RECESS, COL_KEY_HI, COL_KEY_LO, COL_KEY);
    // Indicator bar along the top of the cap.
    int bx0 = r.x + 12, bx1 = r.x + r.w - 13, by0 = r.y + 6, by1 = r.y + 9;
    if (lit) {
        rect(bmp, bx0 - 1, by0 - 1, bx1 + 1, by1 + 1, COL_LAMP_ON_EDGE);
        rectfill(bmp, bx0, by0, bx1, by1, COL_LAMP_ON);
    } else {
        rectfill(bmp, bx0, by0, bx1, by1, COL_LAMP_OFF);
    }
    draw_text_centre(bmp, legend, r.x + r.w * 0.5f, (float)(r.y + 17),
                     lit ? &KEY_LEGEND_LIT : &KEY_LEGEND);
}

struct ring_shape {
    art_rect r;
    float radius, width;
};

// Distance from a frame of the given width running inside a rounded rectangle's outline.
static float ring_distance(float x, float y, const void *shape) {
    const ring_shape *ring = (const ring_shape *)shape;
    float d = rrect_distance(x, y, ring->r, ring->radius) + ring->width * 0.5f;
    return fabsf(d) - ring->width * 0.5f;
}

// A glass-coloured box with a rounded frame just inside its edge.
static void framed_box(BITMAP *bmp, art_rect r, float radius, float width, int core, int edge) {
    rectfill(bmp, r.x, r.y, r.x + r.w - 1, r.y + r.h - 1, COL_GLASS);
    ring_shape ring = {{r.x + 1, r.y + 1, r.w - 2, r.h - 2}, radius, width};
    paint_shape(bmp, r.x, r.y, r.x + r.w - 1, r.y + r.h - 1, ring_distance, &ring, core, edge);
}

static void glyph_rows(BITMAP *bmp) {
    const art_rect *digits[STYLE_COUNT] = {&PICK_DIGIT_ACTIVE, &PICK_DIGIT_STANDBY,
                                           &PICK_DIGIT_ADF};
    const art_rect *points[STYLE_COUNT] = {&PICK_POINT_ACTIVE, &PICK_POINT_STANDBY,
                                           &PICK_POINT_ADF};
    const char *notes[STYLE_COUNT] = {"ACTIVE / ATC", "STANDBY", "ADF"};
    for (int s = 0; s < STYLE_COUNT; s++) {
        for (int d = 0; d < 10; d++)
            draw_glyph(bmp, digits[s]->x + GLYPH_W * d, digits[s]->y, d, s);
        draw_glyph(bmp, points[s]->x, points[s]->y, 10, s);
        draw_text(bmp, notes[s], points[s]->x + GLYPH_W + 14, points[s]->y + 12, &SHEET_NOTE);
    }
}

static void lamp_images(BITMAP *bmp) {
    draw_text(bmp, "UNLIT", LAMPS[0].unlit.x, LAMPS[0].unlit.y - 14, &SHEET_NOTE);
    draw_text(bmp, "LIT", LAMPS[0].lit.x, LAMPS[0].lit.y - 14, &SHEET_NOTE);
    for (int i = 0; i < LAMP_COUNT; i++) {
        draw_key(bmp, LAMPS[i].unlit, LAMPS[i].name, 0);
        draw_key(bmp, LAMPS[i].lit, LAMPS[i].name, 1);
    }
}

static void edit_highlight(BITMAP *bmp) {
    framed_box(bmp, PICK_EDIT_HIGHLIGHT, 6, 3, COL_HILITE, COL_HILITE_EDGE);
}

static void link_down_banner(BITMAP *bmp) {
    art_rect r = PICK_LINK_DOWN_BANNER;
    framed_box(bmp, r, 3, 2, COL_WARN, COL_WARN_EDGE);
    const char *msg = "SIMULATOR NOT CONNECTED";
    text_style st = {11, 1.0f, 2.6f, LINK_DOWN_STRETCH, COL_WARN, COL_WARN_EDGE};
    float room = r.w - 24.0f;
    float wide = text_width(msg, &st);
    st.narrow = room / wide;
    if (st.narrow > 1.3f)
        st.narrow = 1.3f;
    draw_text_centre(bmp, msg, r.x + r.w * 0.5f, r.y + (r.h - st.cap) * 0.5f, &st);
}

static void boards_banner(BITMAP *bmp) {
    art_rect r = PICK_BOARDS_BANNER;
    framed_box(bmp, r, 6, 3, COL_INFO_FRAME, -1);
    float cx = r.x + r.w * 0.5f;
    draw_text_centre(bmp, "STARTING", cx, r.y + 19, &BOARDS_TEXT);
    draw_text_centre(bmp, "K8055 BOARDS...", cx, r.y + 52, &BOARDS_TEXT);
}

BITMAP *make_picker(void) {
    BITMAP *bmp = create_bitmap_ex(8, PICK_W, PICK_H);
    if (!bmp)
        return NULL;
    clear_to_color(bmp, COL_FILL);
    glyph_rows(bmp);
    lamp_images(bmp);
    edit_highlight(bmp);
    link_down_banner(bmp);
    boards_banner(bmp);
    return bmp;
}
