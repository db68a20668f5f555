// Draws the RMU: the face, the edit highlight, the frequency, code and ADF digits, the audio
// selector lamps and the banners into scrat, copies the left face to the right and puts the
// whole picture on the screen in one masked, optionally turned draw.
#include "rmu/rmu.h"

#include "app/app.h"
#include "simlink/simlink.h"

#include <string.h>

// Glyph rows of the picker sheet, by style.
enum { ROW_ACTIVE = 17, ROW_STANDBY = 72, ROW_ADF = 125 };

int rmu_scale_x(int design_x) {
    return (int)((float)design_x * x_scale_factor);
}

int rmu_scale_y(int design_y) {
    return (int)((float)design_y * y_scale_factor);
}

rmu_op rmu_ops[RMU_MAX_OPS];
int rmu_op_count = 0;

// Every piece of the picture goes through here: the piece is drawn into scrat and noted in the
// drawing list, so whoever repeats the list (the browser panel) cannot draw anything else.
void rmu_put(int sheet, int sx, int sy, int sw, int sh, int kind, int dx, int dy, int dw, int dh) {
    if (rmu_op_count < RMU_MAX_OPS)
        rmu_ops[rmu_op_count++] = {(short)sheet, (short)sx, (short)sy, (short)sw, (short)sh,
                                   (short)kind,  (short)dx, (short)dy, (short)dw, (short)dh};
    BITMAP *src = sheet == RMU_SHEET_FACE ? disp : pick;
    switch (kind) {
    case RMU_PUT_DESIGN:
        stretch_blit(src, scrat, sx, sy, sw, sh, rmu_scale_x(dx), rmu_scale_y(dy), rmu_scale_x(dw),
                     rmu_scale_y(dh));
        break;
    case RMU_PUT_PAIR:
        stretch_blit(src, scrat, sx, sy, sw, sh, 0, 0, 2 * width + gap, height);
        break;
    case RMU_PUT_PANEL:
        stretch_blit(src, scrat, sx, sy, sw, sh, 0, 0, width, height);
        break;
    default: // RMU_PUT_COPY: the right face is a copy of the left
        // blit copies overlapping areas of one bitmap in a safe order, so with a negative gap
        // the right face stays whole and covers the left face's last columns.
        blit(scrat, scrat, 0, 0, width + gap, 0, width, height);
        break;
    }
}

// Copies a rectangle of the picker sheet to a design rectangle of the left face.
static void put_design(int sx, int sy, int sw, int sh, int dx, int dy, int dw, int dh) {
    rmu_put(RMU_SHEET_PICK, sx, sy, sw, sh, RMU_PUT_DESIGN, dx, dy, dw, dh);
}

int rmu_glyph_x(char c, int points) {
    if (points && c == '.')
        return 282;
    return 12 + 27 * rmu_digit(c);
}

static void put_glyph(char c, int points, int row, int dx, int dy) {
    put_design(rmu_glyph_x(c, points), row, 27, 32, dx, dy, 27, 32);
}

static void draw_texts(void) {
    struct {
        const char *text;
        int x0, y, row;
    } const rows[] = {
        {com1_disp1, 53, 72, ROW_ACTIVE},   {com1_disp2, 53, 140, ROW_STANDBY},
        {nav1_disp1, 53, 232, ROW_ACTIVE},  {nav1_disp2, 53, 300, ROW_STANDBY},
        {com2_disp1, 267, 72, ROW_ACTIVE},  {com2_disp2, 267, 140, ROW_STANDBY},
        {nav2_disp1, 267, 232, ROW_ACTIVE}, {nav2_disp2, 267, 300, ROW_STANDBY},
    };
    int len = (int)strlen(com1_disp1);
    for (int n = 0; n < len; n++) {
        for (size_t r = 0; r < sizeof rows / sizeof rows[0]; r++)
            put_glyph(rows[r].text[n], 1, rows[r].row, rows[r].x0 + 27 * n, rows[r].y);
    }
    int xlen = (int)strlen(xpndr_disp);
    for (int n = 0; n < xlen; n++)
        put_glyph(xpndr_disp[n], 0, ROW_ACTIVE, 53 + 27 * n, 392);
    // A leading zero of the ADF frequency is not shown; the rest moves one cell left.
    int alen = (int)strlen(adf_disp);
    int p = 0;
    for (int n = 0; n < alen; n++) {
        if (n == 0 && adf_disp[0] == '0') {
            p = 1;
            continue;
        }
        put_glyph(adf_disp[n], 1, ROW_ADF, 267 + 27 * (n - p), 392);
    }
}

static void draw_lamps(void) {
    struct {
        const int *flag;
        int ux, uy, uw, lx, ly, lw, dx, dy;
    } const lamps[] = {
        {&com1_sel, 22, 183, 98, 169, 183, 98, 40, 560},
        {&com2_sel, 22, 225, 102, 169, 224, 102, 155, 560},
        {&nav1_sel, 30, 266, 85, 177, 266, 85, 275, 560},
        {&nav2_sel, 30, 309, 88, 177, 309, 90, 380, 560},
        {&both_sel, 25, 351, 96, 172, 351, 96, 42, 630},
        {&adf1_sel, 28, 393, 88, 176, 393, 88, 160, 630},
        {&mkr_sel, 32, 435, 78, 179, 435, 78, 279, 630},
        {&dme_sel, 32, 477, 72, 179, 477, 72, 388, 630},
    };
    for (size_t i = 0; i < sizeof lamps / sizeof lamps[0]; i++) {
        if (*lamps[i].flag != 0 && electrics != 0)
            put_design(lamps[i].lx, lamps[i].ly, lamps[i].lw, 40, lamps[i].dx, lamps[i].dy,
                       lamps[i].lw, 40);
        else
            put_design(lamps[i].ux, lamps[i].uy, lamps[i].uw, 40, lamps[i].dx, lamps[i].dy,
                       lamps[i].uw, 40);
    }
}

int rmu_overlay_x(void) {
    if (angle == 64 || angle == 192)
        return (height / 2 - (2 * width + gap) / 2) + extra_border / 2;
    return extra_border / 2;
}

int rmu_overlay_y(void) {
    if (angle == 64 || angle == 192)
        return ((2 * width + gap) / 2 - height / 2) + extra_border / 2;
    return extra_border / 2;
}

// Composes both faces in scrat and puts them on the screen in one masked, turned draw.
static void compose_and_push(void) {
    rmu_op_count = 0;
    rmu_put(RMU_SHEET_PICK, 0, 0, 1, 1, RMU_PUT_PAIR, 0, 0, 0, 0);
    if (connected == 0)
        rmu_put(RMU_SHEET_FACE, 0, 0, 504, 700, RMU_PUT_PANEL, 0, 0, 0, 0);
    if (electrics == 1) {
        rmu_put(RMU_SHEET_FACE, 0, 0, 504, 700, RMU_PUT_PANEL, 0, 0, 0, 0);
        static const int highlight[][2] = {{48, 133},  {262, 133}, {48, 292},
                                           {262, 292}, {48, 385},  {262, 385}};
        if (rmu_edit >= 1 && rmu_edit <= 6)
            put_design(21, 526, 198, 48, highlight[rmu_edit - 1][0], highlight[rmu_edit - 1][1],
                       198, 48);
        draw_texts();
    }
    draw_lamps();
    if (connected == 0)
        put_design(228, 534, 314, 30, 96, 257, 314, 50);
    if (about_to_init_k8055 == 1 && loop == 1)
        put_design(288, 386, 246, 88, 132, 240, 246, 88);
    rmu_put(RMU_SHEET_PICK, 0, 0, 0, 0, RMU_PUT_COPY, 0, 0, 0, 0);
    put_turned(scrat, rmu_overlay_x(), rmu_overlay_y(), ftofix((double)angle), ftofix(1.0));
}

void (*rmu_drawn_hook)(void) = NULL;

int rmu_display(void) {
    // Nothing to draw from or into (a failed bitmap creation): leave the screen as it is.
    if (!scrat || !disp || !pick)
        return 0;
    if (rmu_push_needed()) {
        compose_and_push();
        if (rmu_drawn_hook)
            rmu_drawn_hook();
    }
    if (about_to_init_k8055 == 1 && loop == 1)
        Sleep(4000);
    return 0;
}
