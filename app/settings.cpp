// The settings file "vd60_rmu.ini": one number per line, no keys, the line number giving the
// meaning. Window place, layout and the analog axes' calibration record, read at start-up and
// written at exit.
#include "app/app.h"
#include "k8055/k8055.h"

#include <errno.h>
#include <stdlib.h>

#include <string>
#ifdef _WIN32
#include <io.h>
#ifndef F_OK
#define F_OK 0
#endif
#ifndef W_OK
#define W_OK 2
#endif
#else
#include <fcntl.h>
#include <unistd.h>
#endif

// The new content is written first to a temporary file beside it (its name and ".tmp") and
// then renamed over it, so the old file stays whole until the new one is complete on disk.
// fgets limit: 98 characters and the terminating zero.
#define INI_LINE_LIMIT 99

// Lines 3 to 40 in order; lines 1 and 2 are the window's place and line 41 is never read.
static int32_t *const ini_lines[] = {
    &gap,
    &width,
    &height,
    &l_throttle_enabled,
    &l_throttle_cal_min,
    &l_throttle_cal_idle,
    &l_throttle_cal_max,
    &r_throttle_enabled,
    &r_throttle_cal_min,
    &r_throttle_cal_idle,
    &r_throttle_cal_max,
    &spoilers_enabled,
    &spoilers_ret_cal,
    &spoilers_arm_cal,
    &spoilers_ext_cal,
    &flaps_enabled,
    &flaps_up_cal,
    &flaps_8_cal,
    &flaps_20_cal,
    &flaps_dn_cal,
    &rudder_enabled,
    &rudder_left_cal,
    &rudder_center_cal,
    &rudder_right_cal,
    &toe_brakes_enabled,
    &toe_brakes_off_cal,
    &toe_brakes_on_cal,
    &yoke_lr_enabled,
    &yoke_left_cal,
    &yoke_center_cal,
    &yoke_right_cal,
    &yoke_fb_enabled,
    &yoke_forward_cal,
    &yoke_mid_cal,
    &yoke_back_cal,
    &angle,
    &extra_border,
    &blur,
};
#define INI_NUMBERED_LINES (2 + (int)(sizeof ini_lines / sizeof ini_lines[0]))
static_assert(INI_NUMBERED_LINES + 1 == INI_LINES, "the numbered lines and the unread last one");

// Layout values that a damaged or hand-edited file may hold and the window cannot draw are
// brought to the nearest value it can; the calibration record is kept as read.
static void keep_layout_drawable(void) {
    if (width < LAYOUT_MIN_WIDTH) {
        width = LAYOUT_MIN_WIDTH;
    }
    if (height < LAYOUT_MIN_HEIGHT) {
        height = LAYOUT_MIN_HEIGHT;
    }
    if (gap < LAYOUT_MIN_GAP) {
        gap = LAYOUT_MIN_GAP;
    }
    if (extra_border < 0) {
        extra_border = 0;
    }
    if (angle != 0 && angle != 64 && angle != 128 && angle != 192) {
        angle = 0;
    }
    if (blur != 0) {
        blur = 1;
    }
}

int load_ini_file(void) {
    inifile = fopen(INI_FILE, "r");
    if (inifile == NULL) {
        return 0;
    }
    for (int line = 1; line <= INI_NUMBERED_LINES; line++) {
        if (feof(inifile)) {
            continue;
        }
        // A line longer than the limit is read in two pieces, each taken as one line.
        if (fgets(buffer, INI_LINE_LIMIT, inifile) == NULL) {
            continue;
        }
        if (line == 1) {
            xpos = atoi(buffer);
        } else if (line == 2) {
            ypos = atoi(buffer);
        } else {
            *ini_lines[line - 3] = atoi(buffer);
        }
    }
    fclose(inifile);
    inifile = NULL;
    keep_layout_drawable();
    return 0;
}

// Pushes a written file's content through to the disk.
static int flush_to_disk(FILE *file) {
    if (fflush(file) != 0 || ferror(file)) {
        return -1;
    }
#ifdef _WIN32
    return _commit(_fileno(file)) == 0 ? 0 : -1;
#else
    return fsync(fileno(file)) == 0 ? 0 : -1;
#endif
}

// The 41 lines, pushed to the disk; closes the file. -1 when any of it failed.
static int write_lines(FILE *file, long left, long top) {
    inifile = file;
    fprintf(inifile, "%li\n", left);
    fprintf(inifile, "%li\n", top);
    for (int line = 3; line <= INI_NUMBERED_LINES; line++) {
        fprintf(inifile, "%i\n", (int)*ini_lines[line - 3]);
    }
    // Line 41 has no reader: the last value the lamp-state read fetched into this scratch.
    fprintf(inifile, "=%li\n", (long)long_value2);

    int written = flush_to_disk(inifile);
    if (fclose(inifile) != 0) {
        written = -1;
    }
    inifile = NULL;
    return written;
}

// The file the settings really live in: a symbolic link is followed to its target, so the
// link stays a link when the target is replaced. Empty on a loop of links.
static std::string settings_target(void) {
    std::string path = INI_FILE;
#ifndef _WIN32
    for (int depth = 0; depth < 40; depth++) {
        char link[4096];
        ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
        if (length < 0) {
            return path;
        }
        link[length] = '\0';
        std::string::size_type slash = path.rfind('/');
        if (link[0] == '/' || slash == std::string::npos) {
            path = link;
        } else {
            path = path.substr(0, slash + 1) + link;
        }
    }
    return std::string();
#else
    return path;
#endif
}

// Puts the complete temporary file in the target's place in one step.
static int replace_settings_file(const std::string &temp, const std::string &target) {
#ifdef _WIN32
    return MoveFileExA(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : -1;
#else
    if (rename(temp.c_str(), target.c_str()) != 0) {
        return -1;
    }
    // Make the rename itself lasting.
    std::string::size_type slash = target.rfind('/');
    std::string folder_name = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    int folder = open(folder_name.c_str(), O_RDONLY);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return 0;
#endif
}

int write_ini_file(long left, long top) {
    std::string target = settings_target();
    if (target.empty()) {
        return -1;
    }
    // A settings file the user made read-only is left as it is, as opening it would fail.
    if (access(target.c_str(), F_OK) == 0 && access(target.c_str(), W_OK) != 0) {
        return -1;
    }
    std::string temp = target + ".tmp";
    FILE *file = fopen(temp.c_str(), "w");
    if (file == NULL) {
        // A folder that refuses new files while the settings file itself is writable: the
        // file is rewritten in place, which loses the crash safety but not the layout.
        if ((errno != EACCES && errno != EPERM) || access(target.c_str(), W_OK) != 0) {
            return -1;
        }
        file = fopen(target.c_str(), "w");
        if (file == NULL) {
            return -1;
        }
        return write_lines(file, left, top);
    }
    if (write_lines(file, left, top) != 0 || replace_settings_file(temp, target) != 0) {
        remove(temp.c_str());
        return -1;
    }
    return 0;
}

int save_ini_file(void) {
    RECT rect;
    // Saved from where the window stands, so a window the user dragged reopens there.
    if (!GetWindowRect(win_get_window(), &rect)) {
        return 0;
    }
    write_ini_file(rect.left, rect.top);
    return 0;
}
