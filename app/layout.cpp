// The keyboard's layout operations: resize, space, border, quarter turn, artwork switch and
// move of the RMU picture, with the rebuild of what depends on the layout.
#include "app/app.h"

// The layout values that one operation may change, kept to undo it when its bitmaps cannot
// be made.
struct layout_values {
    int width, height, gap, extra_border, angle;
    long xpos, ypos;
};

// The longest pair of panels and the tallest panel (with the border) the desktop can show.
static int long_limit(void) {
    return layout_portrait() ? current_height : current_width;
}

static int short_limit(void) {
    return layout_portrait() ? current_width : current_height;
}

static struct layout_values layout_save(void) {
    struct layout_values saved = {width, height, gap, extra_border, angle, xpos, ypos};
    return saved;
}

static void layout_restore(const struct layout_values *saved) {
    width = saved->width;
    height = saved->height;
    gap = saved->gap;
    extra_border = saved->extra_border;
    angle = saved->angle;
    xpos = saved->xpos;
    ypos = saved->ypos;
}

int layout_refresh_position(void) {
    RECT rect;
    if (GetWindowRect(win_get_window(), &rect)) {
        xpos = rect.left;
        ypos = rect.top;
    }
    return 0;
}

int layout_fit_to_desktop(void) {
    long long long_side = long_limit();
    long long short_side = short_limit();
    // Only layouts the keys could not have made are changed. A border that leaves no space
    // for the smallest panels shrinks first, then a gap that leaves no space for two of them;
    // then the panels are fitted as the quarter turn does.
    long long smallest_pair = 2 * LAYOUT_MIN_WIDTH + LAYOUT_MIN_GAP;
    long long max_border = short_side - LAYOUT_MIN_HEIGHT;
    if (max_border > long_side - smallest_pair) {
        max_border = long_side - smallest_pair;
    }
    if (max_border < 0) {
        max_border = 0;
    }
    if (extra_border > max_border) {
        extra_border = (int)max_border;
    }
    long long max_gap = long_side - extra_border - 2 * LAYOUT_MIN_WIDTH;
    if (max_gap < LAYOUT_MIN_GAP) {
        max_gap = LAYOUT_MIN_GAP;
    }
    if (gap > max_gap) {
        gap = (int)max_gap;
    }
    // The i key may leave the pair one pixel beyond the long limit (it adds 2 to a pair one
    // below): such a layout is the user's own and stays.
    if (2LL * width + gap + extra_border > long_side + 1) {
        width = (int)((long_side - gap - extra_border) / 2);
    }
    if ((long long)extra_border + height > short_side) {
        height = (int)(short_side - extra_border);
    }
    // On a desktop too small for the smallest panels the window stands larger than it.
    if (width < LAYOUT_MIN_WIDTH) {
        width = LAYOUT_MIN_WIDTH;
    }
    if (height < LAYOUT_MIN_HEIGHT) {
        height = LAYOUT_MIN_HEIGHT;
    }
    return 0;
}

int layout_rebuild(void) {
    int pair = 2 * width + gap;
    if (pair < 1 || height < 1 || pair + extra_border < 1 || height + extra_border < 1) {
        return -1;
    }
    // The new bitmaps are made before the old ones go, so that without memory for them the
    // old picture stays whole.
    BITMAP *new_bg = create_background();
    BITMAP *new_scrat = create_bitmap(pair, height);
    if (new_bg == NULL || new_scrat == NULL) {
        if (new_bg) {
            destroy_bitmap(new_bg);
        }
        if (new_scrat) {
            destroy_bitmap(new_scrat);
        }
        return -1;
    }
    if (scrat) {
        destroy_bitmap(scrat);
    }
    if (bg) {
        destroy_bitmap(bg);
    }
    bg = new_bg;
    scrat = new_scrat;

    place_window();
    x_scale_factor = width / 504.0f;
    y_scale_factor = height / 700.0f;
    // The next draw puts the RMU on the new work surface; the main loop puts the background
    // under it after the keys.
    request_push();
    update_bg = 1;
    return 0;
}

// Turns the picture a quarter clockwise about the window's middle.
static void quarter_turn(void) {
    int pair = 2 * width + gap;
    int panel_height = height;

    angle += 64;
    if (angle > 192) {
        angle = 0;
    }
    if (layout_portrait()) {
        xpos += pair / 2 - panel_height / 2;
        ypos += panel_height / 2 - pair / 2;
    } else {
        xpos -= pair / 2 - panel_height / 2;
        ypos -= panel_height / 2 - pair / 2;
    }
    if (ypos > current_height) {
        ypos = current_height;
    }
    if (ypos < 0) {
        ypos = 0;
    }
    // The pair must fit the new orientation.
    if (pair + extra_border > long_limit()) {
        width = (long_limit() - gap - extra_border) / 2;
    }
    if (extra_border + panel_height > short_limit()) {
        height = short_limit() - extra_border;
    }
}

// Switches to the other artwork set. A set with a missing file is not taken: the set in use
// stays, so the window keeps drawing.
static void switch_artwork(void) {
    BITMAP *old_disp = disp, *old_pick = pick, *old_bg = bg;
    disp = pick = bg = NULL;
    blur = blur == 1 ? 0 : 1;
    if (create_bitmaps() == 0 && bg != NULL) {
        destroy_bitmap(old_disp);
        destroy_bitmap(old_pick);
        destroy_bitmap(old_bg);
        return;
    }
    if (disp) {
        destroy_bitmap(disp);
    }
    if (pick) {
        destroy_bitmap(pick);
    }
    if (bg) {
        destroy_bitmap(bg);
    }
    disp = old_disp;
    pick = old_pick;
    bg = old_bg;
    blur = blur == 1 ? 0 : 1;
}

// A change that needs the rebuild; a rebuild without memory undoes the change.
static void rebuild_or_undo(const struct layout_values *before) {
    if (layout_rebuild() != 0) {
        layout_restore(before);
    }
}

// A size key that changed nothing stood at its limit: the log says so.
static void log_if_refused(int code, const struct layout_values *before) {
    if (width == before->width && height == before->height && gap == before->gap &&
        extra_border == before->extra_border)
        log_event("layout key 0x%04X refused: at its limit", (unsigned)code);
}

int layout_keypress(int code) {
    struct layout_values before = layout_save();
    int pair = 2 * width + gap;

    switch (code) {
    case 0x0969: // i: wider panels
        if (pair + extra_border < long_limit()) {
            width++;
        }
        break;
    case 0x1272: // r: narrower panels
        if (width > LAYOUT_MIN_WIDTH) {
            width--;
        }
        break;
    case 0x0949: // Shift+I: taller panels
        if (extra_border + height < short_limit()) {
            height++;
        }
        break;
    case 0x1252: // Shift+R: shorter panels
        if (height > LAYOUT_MIN_HEIGHT) {
            height--;
        }
        break;
    case 0x0909: // Ctrl+I: wider gap
        if (pair + extra_border < long_limit()) {
            gap++;
        }
        break;
    case 0x1212: // Ctrl+R: narrower gap, down to overlapping panels
        if (gap > LAYOUT_MIN_GAP) {
            gap--;
        }
        break;
    case 0x0900: // Alt+I: wider border
        if (pair + extra_border < long_limit() && extra_border + height < short_limit()) {
            extra_border++;
        }
        break;
    case 0x1200: // Alt+R: narrower border; at none, nothing at all happens
        if (extra_border <= 0) {
            log_if_refused(code, &before);
            return 1;
        }
        extra_border--;
        break;
    case 0x0100: // Alt+A: quarter turn
        quarter_turn();
        break;
    case 0x1300: // Alt+S: the other artwork set, with no window change and no redraw
        switch_artwork();
        return 1;
    case 0x0600: // Alt+F: back to the desktop's top-left corner
        xpos = 0;
        ypos = 0;
        place_window();
        return 1;
    default:
        return 0;
    }
    // Every change above rebuilds, even when its test refused it.
    rebuild_or_undo(&before);
    if (code != 0x0100)
        log_if_refused(code, &before);
    return 1;
}
