// The two colour schemes of the artwork: the day set and a dimmed, backlit night set.
#include "artwork/artwork.h"

struct rgb8 {
    int r, g, b;
};

// Colours in 8 bits per channel; the palette holds 6 bits per channel.
static const rgb8 DAY[COL_COUNT] = {
    {0, 0, 0},       // COL_UNUSED
    {22, 24, 28},    // COL_FILL
    {10, 11, 13},    // COL_CASE_EDGE
    {108, 112, 120}, // COL_BODY_HI
    {62, 65, 71},    // COL_BODY
    {32, 34, 38},    // COL_BODY_LO
    {12, 13, 15},    // COL_RECESS
    {5, 9, 11},      // COL_GLASS
    {26, 38, 44},    // COL_GLASS_LINE
    {236, 238, 240}, // COL_LABEL
    {0, 0, 0},       // COL_LABEL_EDGE (mixed below)
    {156, 160, 166}, // COL_LABEL_DIM
    {188, 190, 194}, // COL_SCREW_HI
    {128, 130, 136}, // COL_SCREW
    {74, 76, 80},    // COL_SCREW_LO
    {18, 18, 20},    // COL_SCREW_SLOT
    {100, 102, 108}, // COL_KNOB_HI
    {46, 48, 52},    // COL_KNOB
    {20, 21, 24},    // COL_KNOB_LO
    {236, 238, 240}, // COL_KNOB_MARK
    {120, 255, 140}, // COL_ACTIVE
    {0, 0, 0},       // COL_ACTIVE_EDGE
    {72, 204, 240},  // COL_STANDBY
    {0, 0, 0},       // COL_STANDBY_EDGE
    {255, 176, 48},  // COL_ADF
    {0, 0, 0},       // COL_ADF_EDGE
    {236, 240, 244}, // COL_HILITE
    {0, 0, 0},       // COL_HILITE_EDGE
    {120, 124, 132}, // COL_KEY_HI
    {76, 79, 86},    // COL_KEY
    {36, 38, 42},    // COL_KEY_LO
    {220, 222, 226}, // COL_KEY_LEGEND
    {0, 0, 0},       // COL_KEY_LEGEND_EDGE
    {34, 38, 36},    // COL_LAMP_OFF
    {150, 255, 165}, // COL_LAMP_ON
    {0, 0, 0},       // COL_LAMP_ON_EDGE
    {255, 168, 32},  // COL_WARN
    {0, 0, 0},       // COL_WARN_EDGE
    {232, 244, 250}, // COL_INFO
    {0, 0, 0},       // COL_INFO_EDGE
    {72, 204, 240},  // COL_INFO_FRAME
};

// Night: the plate darker, legends lit from behind in warm white, displays and lamps dimmed.
static const rgb8 NIGHT[COL_COUNT] = {
    {0, 0, 0},       // COL_UNUSED
    {8, 9, 11},      // COL_FILL
    {4, 4, 6},       // COL_CASE_EDGE
    {54, 56, 62},    // COL_BODY_HI
    {30, 32, 36},    // COL_BODY
    {16, 17, 20},    // COL_BODY_LO
    {6, 6, 8},       // COL_RECESS
    {3, 5, 6},       // COL_GLASS
    {16, 24, 28},    // COL_GLASS_LINE
    {244, 212, 148}, // COL_LABEL
    {0, 0, 0},       // COL_LABEL_EDGE
    {168, 146, 104}, // COL_LABEL_DIM
    {96, 98, 102},   // COL_SCREW_HI
    {64, 66, 70},    // COL_SCREW
    {38, 40, 44},    // COL_SCREW_LO
    {4, 4, 6},       // COL_SCREW_SLOT
    {52, 54, 58},    // COL_KNOB_HI
    {24, 25, 28},    // COL_KNOB
    {10, 10, 12},    // COL_KNOB_LO
    {244, 212, 148}, // COL_KNOB_MARK
    {84, 196, 100},  // COL_ACTIVE
    {0, 0, 0},       // COL_ACTIVE_EDGE
    {52, 150, 180},  // COL_STANDBY
    {0, 0, 0},       // COL_STANDBY_EDGE
    {208, 136, 36},  // COL_ADF
    {0, 0, 0},       // COL_ADF_EDGE
    {176, 180, 186}, // COL_HILITE
    {0, 0, 0},       // COL_HILITE_EDGE
    {60, 62, 68},    // COL_KEY_HI
    {36, 38, 42},    // COL_KEY
    {16, 17, 20},    // COL_KEY_LO
    {236, 204, 140}, // COL_KEY_LEGEND
    {0, 0, 0},       // COL_KEY_LEGEND_EDGE
    {20, 22, 20},    // COL_LAMP_OFF
    {110, 214, 124}, // COL_LAMP_ON
    {0, 0, 0},       // COL_LAMP_ON_EDGE
    {212, 136, 28},  // COL_WARN
    {0, 0, 0},       // COL_WARN_EDGE
    {186, 196, 204}, // COL_INFO
    {0, 0, 0},       // COL_INFO_EDGE
    {52, 150, 180},  // COL_INFO_FRAME
};

// The edge shade of a stroke: part of the way from what lies behind it to its colour.
static rgb8 mix(rgb8 behind, rgb8 ink, float part) {
    rgb8 m;
    m.r = (int)(behind.r + (ink.r - behind.r) * part + 0.5f);
    m.g = (int)(behind.g + (ink.g - behind.g) * part + 0.5f);
    m.b = (int)(behind.b + (ink.b - behind.b) * part + 0.5f);
    return m;
}

static void set_entry(PALETTE pal, int i, rgb8 c) {
    pal[i].r = (unsigned char)(c.r >> 2);
    pal[i].g = (unsigned char)(c.g >> 2);
    pal[i].b = (unsigned char)(c.b >> 2);
    pal[i].filler = 0;
}

void art_palette(int set, PALETTE pal) {
    rgb8 c[COL_COUNT];
    const rgb8 *src = set == SET_NIGHT ? NIGHT : DAY;
    for (int i = 0; i < COL_COUNT; i++)
        c[i] = src[i];
    c[COL_LABEL_EDGE] = mix(c[COL_BODY], c[COL_LABEL], 0.5f);
    c[COL_ACTIVE_EDGE] = mix(c[COL_GLASS], c[COL_ACTIVE], 0.45f);
    c[COL_STANDBY_EDGE] = mix(c[COL_GLASS], c[COL_STANDBY], 0.45f);
    c[COL_ADF_EDGE] = mix(c[COL_GLASS], c[COL_ADF], 0.45f);
    c[COL_HILITE_EDGE] = mix(c[COL_GLASS], c[COL_HILITE], 0.45f);
    c[COL_KEY_LEGEND_EDGE] = mix(c[COL_KEY], c[COL_KEY_LEGEND], 0.5f);
    c[COL_LAMP_ON_EDGE] = mix(c[COL_KEY], c[COL_LAMP_ON], 0.5f);
    c[COL_WARN_EDGE] = mix(c[COL_GLASS], c[COL_WARN], 0.45f);
    c[COL_INFO_EDGE] = mix(c[COL_GLASS], c[COL_INFO], 0.45f);

    // Entries past the named ones repeat the fill colour, so a stray index can never show as
    // black or as the mask colour.
    for (int i = 0; i < 256; i++)
        set_entry(pal, i, i < COL_COUNT ? c[i] : c[COL_FILL]);
}
