// Reads the RMU off a picture of the window, for the end-to-end tests: each glyph cell of COM1's
// two frequencies is compared with every picker glyph stretched to the cell's size, and the edit
// highlight is looked for under each radio.
//   rmuread SHOT.bmp PICKER.bmp WIDTH HEIGHT GAP BORDER
// SHOT is the window's content in landscape. Prints for the left face
//   COM1 <active> <standby>   (a cell that shows no glyph reads as '?')
//   EDIT <radio 1-6, or 0 when no highlight is shown>
#include <allegro.h>

#include <stdio.h>
#include <stdlib.h>

static BITMAP *shot, *pick;
static int border;
static float xsf, ysf;

// 1 when the picker rectangle stretched to the design rectangle's scaled size is what the
// picture shows there (mask pixels of the sheet let anything through); only the top `rows`
// design rows are compared.
static int shows(int px, int py, int pw, int ph, int dx, int dy, int rows) {
    int w = (int)(pw * xsf), h = (int)(ph * ysf), top = (int)(rows * ysf);
    BITMAP *b = create_bitmap(w, h);
    stretch_blit(pick, b, px, py, pw, ph, 0, 0, w, h);
    int x0 = border / 2 + (int)(dx * xsf), y0 = border / 2 + (int)(dy * ysf), same = top > 0;
    for (int j = 0; j < top && same; j++)
        for (int i = 0; i < w && same; i++) {
            int want = getpixel(b, i, j);
            same = want == bitmap_mask_color(b) || getpixel(shot, x0 + i, y0 + j) == want;
        }
    destroy_bitmap(b);
    return same;
}

static void text(int x0, int y, int row, char *out) {
    for (int n = 0; n < 7; n++) {
        out[n] = '?';
        for (int d = 0; d <= 10; d++)
            if (shows(12 + 27 * d, row, 27, 32, x0 + 27 * n, y, 32))
                out[n] = d == 10 ? '.' : (char)('0' + d);
    }
    out[7] = '\0';
}

int main(int argc, char **argv) {
    if (argc < 7 || install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        fprintf(stderr, "usage: rmuread SHOT.bmp PICKER.bmp WIDTH HEIGHT GAP BORDER\n");
        return 2;
    }
    set_color_depth(32);
    set_color_conversion(COLORCONV_TOTAL);
    PALETTE palette;
    shot = load_bitmap(argv[1], palette);
    pick = load_bitmap(argv[2], palette);
    if (!shot || !pick) {
        fprintf(stderr, "rmuread: cannot load %s\n", shot ? argv[2] : argv[1]);
        return 1;
    }
    xsf = atoi(argv[3]) / 504.0f;
    ysf = atoi(argv[4]) / 700.0f;
    border = atoi(argv[6]);
    char active[8], standby[8];
    text(53, 72, 17, active);
    text(53, 140, 72, standby);
    printf("COM1 %s %s\n", active, standby);
    // The highlight shows in the strip above a radio's lower text row, which no glyph covers.
    static const int at[6][2] = {{48, 133},  {262, 133}, {48, 292},
                                 {262, 292}, {48, 385},  {262, 385}};
    int edit = 0;
    for (int k = 0; k < 6 && !edit; k++)
        if (shows(21, 526, 198, 48, at[k][0], at[k][1], 7))
            edit = k + 1;
    printf("EDIT %d\n", edit);
    return 0;
}
END_OF_MAIN()
