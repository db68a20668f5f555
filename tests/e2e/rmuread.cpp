// Reads the RMU off a picture of the window, for the end-to-end tests: every glyph cell of
// one face is compared with each glyph of the picker sheet stretched to the cell's size, and
// the edit highlight is looked for under each radio.
//   rmuread SHOT.bmp PICKER.bmp WIDTH HEIGHT GAP BORDER [FACE]
// SHOT is the window's content in landscape, FACE 0 (left, default) or 1 (right). Prints
//   COM1 <active> <standby>, COM2 ..., NAV1 ..., NAV2 ..., XPDR <code>, ADF <frequency>,
//   EDIT <radio 1-6, or 0 when no highlight is shown>
// A cell that shows no glyph reads as '?'; the ADF's hidden leading zero is left out.
#include <allegro.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

static BITMAP *shot, *pick;
static int width, height, gap, border, face;
static float xsf, ysf;

static int sx(int v) {
    return (int)((float)v * xsf);
}
static int sy(int v) {
    return (int)((float)v * ysf);
}

static int origin_x(void) {
    return border / 2 + (face ? width + gap : 0);
}

// 1 when the picker rectangle, stretched to the design rectangle's scaled size, is what the
// picture shows there (mask pixels of the sheet let anything through).
static int shows(int px, int py, int pw, int ph, int dx, int dy, int dw, int dh) {
    int w = sx(dw), h = sy(dh);
    BITMAP *b = create_bitmap(w, h);
    stretch_blit(pick, b, px, py, pw, ph, 0, 0, w, h);
    int x0 = origin_x() + sx(dx), y0 = border / 2 + sy(dy), same = 1;
    for (int j = 0; j < h && same; j++)
        for (int i = 0; i < w; i++) {
            int want = getpixel(b, i, j);
            if (want != bitmap_mask_color(b) && getpixel(shot, x0 + i, y0 + j) != want) {
                same = 0;
                break;
            }
        }
    destroy_bitmap(b);
    return same;
}

static char cell(int dx, int dy, int row) {
    for (int d = 0; d <= 10; d++)
        if (shows(12 + 27 * d, row, 27, 32, dx, dy, 27, 32))
            return d == 10 ? '.' : (char)('0' + d);
    return '?';
}

static std::string text(int x0, int y, int row, int cells) {
    std::string s;
    for (int n = 0; n < cells; n++)
        s += cell(x0 + 27 * n, y, row);
    return s;
}

// The highlight shows in the strip above a radio's lower text row, which no glyph covers.
static int edited(void) {
    static const int at[6][2] = {{48, 133},  {262, 133}, {48, 292},
                                 {262, 292}, {48, 385},  {262, 385}};
    for (int k = 0; k < 6; k++) {
        int w = sx(198), h = sy(48), top = sy(7); // rows from 133 to 140: above the glyphs
        BITMAP *b = create_bitmap(w, h);
        stretch_blit(pick, b, 21, 526, 198, 48, 0, 0, w, h);
        int x0 = origin_x() + sx(at[k][0]), y0 = border / 2 + sy(at[k][1]), same = 1;
        for (int j = 0; j < top && same; j++)
            for (int i = 0; i < w; i++)
                if (getpixel(shot, x0 + i, y0 + j) != getpixel(b, i, j)) {
                    same = 0;
                    break;
                }
        destroy_bitmap(b);
        if (same && top > 0)
            return k + 1;
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc < 7) {
        fprintf(stderr, "usage: rmuread SHOT.bmp PICKER.bmp WIDTH HEIGHT GAP BORDER [FACE]\n");
        return 2;
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return 1;
    set_color_depth(32);
    set_color_conversion(COLORCONV_TOTAL);
    PALETTE palette;
    shot = load_bitmap(argv[1], palette);
    pick = load_bitmap(argv[2], palette);
    if (!shot || !pick) {
        fprintf(stderr, "rmuread: cannot load %s\n", shot ? argv[2] : argv[1]);
        return 1;
    }
    width = atoi(argv[3]);
    height = atoi(argv[4]);
    gap = atoi(argv[5]);
    border = atoi(argv[6]);
    face = argc > 7 ? atoi(argv[7]) : 0;
    xsf = width / 504.0f;
    ysf = height / 700.0f;

    printf("COM1 %s %s\n", text(53, 72, 17, 7).c_str(), text(53, 140, 72, 7).c_str());
    printf("COM2 %s %s\n", text(267, 72, 17, 7).c_str(), text(267, 140, 72, 7).c_str());
    printf("NAV1 %s %s\n", text(53, 232, 17, 7).c_str(), text(53, 300, 72, 7).c_str());
    printf("NAV2 %s %s\n", text(267, 232, 17, 7).c_str(), text(267, 300, 72, 7).c_str());
    printf("XPDR %s\n", text(53, 392, 17, 4).c_str());
    std::string adf = text(267, 392, 125, 6);
    while (!adf.empty() && adf.back() == '?')
        adf.pop_back();
    printf("ADF %s\n", adf.c_str());
    printf("EDIT %d\n", edited());
    return 0;
}
END_OF_MAIN()
