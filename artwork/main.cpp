// valdora-artwork: writes the RMU face and picker sheet, day and night sets, as 8-bit BMP files
// into the folder given ("valdora-artwork FOLDER"); "valdora-artwork --preview FOLDER" then
// composes sample window pictures from the files in FOLDER, to look at the artwork in use.
//
// The fill colour (picker pixel (0, 0)) is deliberately NOT the mask colour. The unit is put
// on the screen with a masked draw, and a masked pixel keeps whatever the screen showed before:
// a transparent fill would leave the digits of the previous frame standing when the power goes
// off, and the calibration screens would write their text over the last RMU picture. An opaque
// fill repaints the panels and the gap between them on every draw. The fill is the same dark
// colour as the face's pixel (10, 10), which the background is made of, so gap, border and
// the unpowered panels all read as one dark surround, and the calibration text (0xFFFF as a raw
// pixel: cyan at 24/32 bits, white at 15/16 bits) stands out on it.
// For the same reason nothing is drawn in palette index 0 (the mask colour on an 8-bit screen)
// and no colour is magenta (the mask colour once the files are converted to 15 to 32 bits).
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "artwork/artwork.h"

static int save_set(const char *folder, BITMAP *face, BITMAP *picker, int set) {
    PALETTE pal;
    art_palette(set, pal);
    const char *face_name = set == SET_NIGHT ? "vd60_rmub.bmp" : "vd60_rmu.bmp";
    const char *picker_name = set == SET_NIGHT ? "vd60_pickerb.bmp" : "vd60_picker.bmp";
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", folder, face_name);
    if (save_bmp(path, face, pal) != 0) {
        fprintf(stderr, "valdora-artwork: cannot write %s\n", path);
        return -1;
    }
    snprintf(path, sizeof path, "%s/%s", folder, picker_name);
    if (save_bmp(path, picker, pal) != 0) {
        fprintf(stderr, "valdora-artwork: cannot write %s\n", path);
        return -1;
    }
    return 0;
}

static int generate(const char *folder) {
    BITMAP *face = make_face();
    BITMAP *picker = make_picker();
    int result = -1;
    if (face && picker && save_set(folder, face, picker, SET_DAY) == 0 &&
        save_set(folder, face, picker, SET_NIGHT) == 0)
        result = 0;
    if (face)
        destroy_bitmap(face);
    if (picker)
        destroy_bitmap(picker);
    return result;
}

int main(int argc, char **argv) {
    int preview = argc == 3 && strcmp(argv[1], "--preview") == 0;
    if (argc != 2 && !preview) {
        fprintf(stderr, "usage: valdora-artwork [--preview] FOLDER\n");
        return 2;
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        fprintf(stderr, "valdora-artwork: Allegro does not start\n");
        return 1;
    }
    int result = preview ? make_previews(argv[2]) : generate(argv[1]);
    allegro_exit();
    return result == 0 ? 0 : 1;
}
END_OF_MAIN()
