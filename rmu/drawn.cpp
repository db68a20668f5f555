// What the RMU picture on the screen was made of when it was last put there. rmu_display
// composes and pushes a new picture only when something in this list differs (or when
// something else drew on the screen meanwhile), so a unit that shows the same thing for
// minutes costs nothing to keep on the screen.
#include "rmu/rmu.h"

#include "app/app.h"
#include "simlink/simlink.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int rmu_push_always = 0;
long rmu_pushes = 0;

// Everything rmu_display reads to make its picture. Compared as a whole (memcmp), so every
// snapshot starts zeroed: the padding between fields is then the same in both.
struct drawn_state {
    char com1_disp1[8], com1_disp2[8], com2_disp1[8], com2_disp2[8];
    char nav1_disp1[8], nav1_disp2[8], nav2_disp1[8], nav2_disp2[8];
    char xpndr_disp[5], adf_disp[7];
    uint16_t words[11];
    int rmu_edit, electrics, connected, boards_banner;
    int sel[8];
    int width, height, gap, extra_border, angle, blur;
    float x_scale_factor, y_scale_factor;
    BITMAP *disp, *pick, *scrat;
};

static drawn_state drawn; // as at the last push

static void take(drawn_state *s) {
    memset(s, 0, sizeof *s);
    memcpy(s->com1_disp1, com1_disp1, 8);
    memcpy(s->com1_disp2, com1_disp2, 8);
    memcpy(s->com2_disp1, com2_disp1, 8);
    memcpy(s->com2_disp2, com2_disp2, 8);
    memcpy(s->nav1_disp1, nav1_disp1, 8);
    memcpy(s->nav1_disp2, nav1_disp2, 8);
    memcpy(s->nav2_disp1, nav2_disp1, 8);
    memcpy(s->nav2_disp2, nav2_disp2, 8);
    memcpy(s->xpndr_disp, xpndr_disp, 5);
    memcpy(s->adf_disp, adf_disp, 7);
    const uint16_t words[11] = {read_freq1, read_freq2,  read_freq3, read_freq4,
                                read_freq5, read_freq6,  read_freq7, read_freq8,
                                read_freq9, read_freq10, read_freq11};
    memcpy(s->words, words, sizeof words);
    s->rmu_edit = rmu_edit;
    s->electrics = electrics;
    s->connected = connected;
    s->boards_banner = about_to_init_k8055 == 1 && loop == 1;
    const int sel[8] = {com1_sel, com2_sel, both_sel, nav1_sel,
                        nav2_sel, mkr_sel,  dme_sel,  adf1_sel};
    memcpy(s->sel, sel, sizeof sel);
    s->width = width;
    s->height = height;
    s->gap = gap;
    s->extra_border = extra_border;
    s->angle = angle;
    s->blur = blur;
    s->x_scale_factor = x_scale_factor;
    s->y_scale_factor = y_scale_factor;
    s->disp = disp;
    s->pick = pick;
    s->scrat = scrat;
}

int rmu_push_needed(void) {
    drawn_state now;
    take(&now);
    // Taken and cleared in one step, before the comparison: a repaint request that arrives
    // from Allegro's thread at any moment is either seen here or left for the next picture.
    int forced = __atomic_exchange_n(&push_request, 0, __ATOMIC_SEQ_CST) || rmu_push_always;
    if (!forced && memcmp(&now, &drawn, sizeof now) == 0)
        return 0;
    memcpy(&drawn, &now, sizeof now); // padding included, as memcmp compares it
    rmu_pushes++;
    // Test hook: with VALDORA_PUSH_TRACE set, each push is told on the standard error.
    static int trace = -1;
    if (trace < 0)
        trace = getenv("VALDORA_PUSH_TRACE") != NULL;
    if (trace)
        fprintf(stderr, "push %ld\n", rmu_pushes);
    return 1;
}
