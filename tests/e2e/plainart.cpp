// Writes two plain artwork sets for the end-to-end tests into a folder: flat 8-bit paletted
// BMP files of the right names and sizes, where each set has its own background colour at
// pixel (10, 10) of the face, so a test can tell the sets apart on the screen.
//   plainart FOLDER
#include <allegro.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

// Writes one flat bitmap with a frame of another colour.
static int write_plain(const char *folder, const char *name, int w, int h, RGB ground, RGB frame) {
    PALETTE palette;
    for (int i = 0; i < 256; i++) {
        palette[i] = ground;
    }
    palette[1] = ground;
    palette[2] = frame;
    BITMAP *picture = create_bitmap_ex(8, w, h);
    if (picture == NULL) {
        return -1;
    }
    clear_to_color(picture, 1);
    rect(picture, 40, 40, w - 41, h - 41, 2);
    char path[1024];
    snprintf(path, sizeof path, "%s/%s", folder, name);
    int result = save_bitmap(path, picture, palette);
    destroy_bitmap(picture);
    return result == 0 ? 0 : -1;
}

int main(int argc, char *argv[]) {
    if (argc != 2) {
        fprintf(stderr, "usage: plainart FOLDER\n");
        return 2;
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        return 1;
    }
    // Colours in Allegro's 6-bit palette units.
    RGB dark_blue = {8, 12, 20, 0}, light = {60, 60, 60, 0};
    RGB dark_brown = {24, 16, 8, 0}, amber = {63, 40, 0, 0};
    if (write_plain(argv[1], "vd60_rmu.bmp", 504, 700, dark_blue, light) != 0 ||
        write_plain(argv[1], "vd60_picker.bmp", 1024, 1024, dark_blue, light) != 0 ||
        write_plain(argv[1], "vd60_rmub.bmp", 504, 700, dark_brown, amber) != 0 ||
        write_plain(argv[1], "vd60_pickerb.bmp", 1024, 1024, dark_brown, amber) != 0) {
        fprintf(stderr, "plainart: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
END_OF_MAIN()
