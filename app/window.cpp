// The window and the artwork: graphics mode, window place and size, the two artwork sets and
// the flat background bitmap.
#include "app/app.h"

void exit_hook(void) {
    loop = 0;
}

void request_push(void) {
    __atomic_store_n(&push_request, 1, __ATOMIC_SEQ_CST);
}

int layout_portrait(void) {
    return angle == 64 || angle == 192;
}

int window_outer_width(void) {
    int content = layout_portrait() ? height + extra_border : 2 * width + gap + extra_border;
    return content + 6;
}

int window_outer_height(void) {
    int content = layout_portrait() ? 2 * width + gap + extra_border : height + extra_border;
    return content + 25;
}

int place_window(void) {
    SetWindowPos(win_get_window(), NULL, (int)xpos, (int)ypos, window_outer_width(),
                 window_outer_height(), SWP_NOZORDER);
    return 0;
}

int init_window(void) {
    set_color_depth(screen_colour_depth);

    // The graphics mode is as large as the desktop allows; the window is then cut down to the
    // layout's size, and the layout operations only ever resize the window.
    get_desktop_resolution(&current_width, &current_height);
    current_width -= 8;
    current_height -= 32;

    // A layout from a hand-edited settings file may not fit this desktop.
    layout_fit_to_desktop();
    x_scale_factor = width / 504.0f;
    y_scale_factor = height / 700.0f;

    if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, current_width, current_height, 0, 0) != 0 &&
        set_gfx_mode(GFX_SAFE, current_width, current_height, 0, 0) != 0) {
        set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
        allegro_message("Unable to set any graphic mode\n%s\n", allegro_error);
        return -1;
    }

    // Keep running while the window is not in front.
    set_display_switch_mode(SWITCH_BACKGROUND);
    // A window shown again after being covered or minimised gets the picture afresh.
    window_watch_exposure(request_push);

    place_window();

    set_close_button_callback(exit_hook);
    return 0;
}

BITMAP *create_background(void) {
    int content_width = 2 * width + gap + extra_border;
    int content_height = height + extra_border;
    if (content_width < 1 || content_height < 1) {
        return NULL;
    }
    BITMAP *flat = create_bitmap(content_width, content_height);
    if (flat) {
        // Pixel (10, 10) of the face is the background colour.
        stretch_blit(disp, flat, 10, 10, 1, 1, 0, 0, content_width, content_height);
    }
    return flat;
}

int create_bitmaps(void) {
    const char *face_file = blur == 0 ? "vd60_rmu.bmp" : "vd60_rmub.bmp";
    const char *picker_file = blur == 0 ? "vd60_picker.bmp" : "vd60_pickerb.bmp";

    disp = load_bitmap(face_file, palette);
    if (disp == NULL) {
        return -1;
    }
    pick = load_bitmap(picker_file, palette);
    if (pick == NULL) {
        return -1;
    }
    bg = create_background();
    return 0;
}
