// Preview mode of the generator: loads the saved files at 32 bits as the program does, and
// composes the window's picture for sample radio states (powered, link down, unpowered, boards
// starting, a calibration screen) by cutting and stretching the pieces the way the RMU drawing
// does, so the artwork can be judged at the sizes a user sees.
#include <stdio.h>

#include "artwork/artwork.h"

enum look { LOOK_POWERED, LOOK_LINK_DOWN, LOOK_UNPOWERED, LOOK_BOARDS, LOOK_WIZARD, LOOK_COUNT };
static const char *const LOOK_NAMES[LOOK_COUNT] = {"powered", "linkdown", "unpowered", "boards",
                                                   "wizard"};

// The sample radio state, in the order of the text rows.
static const char *const SAMPLE_TEXTS[TEXT_ROW_COUNT] = {
    "118.000", "118.025", "110.500", "113.900", "121.500",
    "124.350", "115.800", "109.300", "7000",    "0350.0",
};
static const int SAMPLE_EDIT = 1;
static const int SAMPLE_SELECTED[LAMP_COUNT] = {1, 0, 1, 0, 0, 0, 1, 0};

struct panel {
    int width, height, gap, border, angle;
    float xs, ys;
};

// Stretches a sheet rectangle onto a design rectangle of the face.
static void piece(BITMAP *src, BITMAP *dst, const panel *p, art_rect from, int x, int y, int w,
                  int h) {
    stretch_blit(src, dst, from.x, from.y, from.w, from.h, (int)(x * p->xs), (int)(y * p->ys),
                 (int)(w * p->xs), (int)(h * p->ys));
}

static art_rect glyph_source(int style, char c) {
    static const int rows[STYLE_COUNT] = {17, 72, 125};
    int cell = c == '.' ? 10 : (c >= '0' && c <= '9' ? c - '0' : 0);
    art_rect r = {12 + GLYPH_W * cell, rows[style], GLYPH_W, GLYPH_H};
    return r;
}

static void draw_rows(BITMAP *pick, BITMAP *scrat, const panel *p) {
    for (int i = 0; i < TEXT_ROW_COUNT; i++) {
        const text_row *row = &TEXT_ROWS[i];
        const char *t = SAMPLE_TEXTS[i];
        int skip = row->style == STYLE_ADF && t[0] == '0'; // the ADF hides a leading zero
        for (int n = skip; t[n]; n++) {
            char c = row->style == STYLE_ACTIVE && i == 8 && t[n] == '.' ? '0' : t[n];
            piece(pick, scrat, p, glyph_source(row->style, c), row->x0 + GLYPH_W * (n - skip),
                  row->y, GLYPH_W, GLYPH_H);
        }
    }
}

static void compose(BITMAP *disp, BITMAP *pick, const panel *p, int look, BITMAP *screen_bmp) {
    int pair = 2 * p->width + p->gap;
    BITMAP *scrat = create_bitmap(pair, p->height);
    if (!scrat)
        return;
    int connected = look != LOOK_LINK_DOWN;
    int electrics = look == LOOK_POWERED || look == LOOK_BOARDS;
    stretch_blit(pick, scrat, 0, 0, 1, 1, 0, 0, pair, p->height);
    if (look == LOOK_WIZARD) {
        // Raw 0xFFFF on a 32-bit X screen is red 0, green 255, blue 255.
        int cyan = makecol32(0, 255, 255);
        const char *lines[5] = {"*C A L I B R A T I O N*", "*LEFT THROTTLE*",
                                "Select 'REVERSE THRUST'", "'s' to skip,'d' disable",
                                "Any other key to read"};
        const float at[5] = {0.15f, 0.25f, 0.4f, 0.65f, 0.75f};
        for (int i = 0; i < 5; i++)
            textprintf_centre_ex(scrat, font, p->width / 2, (int)(p->height * at[i]), cyan, -1,
                                 "%s", lines[i]);
    } else {
        if (!connected || electrics)
            stretch_blit(disp, scrat, 0, 0, FACE_W, FACE_H, 0, 0, p->width, p->height);
        if (electrics) {
            art_rect h = FACE_EDIT_HIGHLIGHT[SAMPLE_EDIT];
            piece(pick, scrat, p, PICK_EDIT_HIGHLIGHT, h.x, h.y, h.w, h.h);
            draw_rows(pick, scrat, p);
        }
        for (int i = 0; i < LAMP_COUNT; i++) {
            const lamp_place *l = &LAMPS[i];
            art_rect src = SAMPLE_SELECTED[i] && electrics ? l->lit : l->unlit;
            piece(pick, scrat, p, src, l->dest_x, l->dest_y, src.w, src.h);
        }
        if (!connected)
            piece(pick, scrat, p, PICK_LINK_DOWN_BANNER, FACE_LINK_DOWN_BANNER.x,
                  FACE_LINK_DOWN_BANNER.y, FACE_LINK_DOWN_BANNER.w, FACE_LINK_DOWN_BANNER.h);
        if (look == LOOK_BOARDS)
            piece(pick, scrat, p, PICK_BOARDS_BANNER, FACE_BOARDS_BANNER.x, FACE_BOARDS_BANNER.y,
                  FACE_BOARDS_BANNER.w, FACE_BOARDS_BANNER.h);
    }
    stretch_blit(scrat, scrat, 0, 0, p->width, p->height, p->width + p->gap, 0, p->width,
                 p->height);
    int x = p->border / 2, y = p->border / 2;
    if (p->angle == 64 || p->angle == 192) {
        x = (p->height / 2 - pair / 2) + p->border / 2;
        y = (pair / 2 - p->height / 2) + p->border / 2;
    }
    // The same placement as rotate_scaled_sprite at (x, y), which shifts a negative x left (not
    // defined in C++) when turned: turn about the picture's centre, which is on the screen.
    pivot_scaled_sprite(screen_bmp, scrat, x + pair / 2, y + p->height / 2, pair / 2, p->height / 2,
                        itofix(p->angle), ftofix(1.0));
    destroy_bitmap(scrat);
}

static int preview_one(const char *folder, const char *set, BITMAP *disp, BITMAP *pick,
                       const panel *p, int look) {
    int pair = 2 * p->width + p->gap;
    int portrait = p->angle == 64 || p->angle == 192;
    int cw = (portrait ? p->height : pair) + p->border;
    int ch = (portrait ? pair : p->height) + p->border;
    BITMAP *screen_bmp = create_bitmap(cw, ch);
    if (!screen_bmp)
        return -1;
    // The background: the face's pixel (10, 10) stretched over everything.
    stretch_blit(disp, screen_bmp, FACE_BG_X, FACE_BG_Y, 1, 1, 0, 0, cw, ch);
    compose(disp, pick, p, look, screen_bmp);
    char path[1024];
    snprintf(path, sizeof path, "%s/preview%s_%dx%d%s_%s.bmp", folder, set, p->width, p->height,
             portrait ? "_turned" : "", LOOK_NAMES[look]);
    int r = save_bmp(path, screen_bmp, NULL);
    destroy_bitmap(screen_bmp);
    return r == 0 ? 0 : -1;
}

int make_previews(const char *folder) {
    static const char *const sets[2][3] = {{"", "vd60_rmu.bmp", "vd60_picker.bmp"},
                                           {"b", "vd60_rmub.bmp", "vd60_pickerb.bmp"}};
    static const panel sizes[3] = {
        {280, 400, 75, 0, 0, 0, 0}, {560, 800, 75, 20, 0, 0, 0}, {280, 400, 75, 0, 64, 0, 0}};
    set_color_depth(32);
    int result = 0;
    for (int s = 0; s < 2; s++) {
        char path[1024];
        PALETTE pal;
        snprintf(path, sizeof path, "%s/%s", folder, sets[s][1]);
        BITMAP *disp = load_bitmap(path, pal);
        snprintf(path, sizeof path, "%s/%s", folder, sets[s][2]);
        BITMAP *pick = load_bitmap(path, pal);
        if (!disp || !pick) {
            fprintf(stderr, "valdora-artwork: the artwork files are not in %s\n", folder);
            result = -1;
        } else {
            for (int z = 0; z < 3; z++) {
                panel p = sizes[z];
                p.xs = p.width / 504.0f;
                p.ys = p.height / 700.0f;
                for (int look = 0; look < LOOK_COUNT; look++)
                    if (preview_one(folder, sets[s][0], disp, pick, &p, look) != 0)
                        result = -1;
            }
        }
        if (disp)
            destroy_bitmap(disp);
        if (pick)
            destroy_bitmap(pick);
    }
    return result;
}
