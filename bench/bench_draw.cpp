// Drawing benchmark: one rmu_display at 280 x 400 and at 560 x 800 panels, side by side with
// the floor of the drawing: one full-size masked rotate (rotate_scaled_sprite, as rmu_display
// ends with) of a bitmap of the same size as the composed pair. Iterations alternate between
// the two; the counters give each median in microseconds and the ratio of the medians.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <time.h>
#include <vector>

namespace {

double median(std::vector<double> &v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

double now_us() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// The generated artwork of the run folder, else plain stand-ins of the same sizes.
void load_artwork() {
    if (disp)
        return;
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(32);
    set_color_conversion(COLORCONV_TOTAL);
    std::string dir = VALDORA_RUN_DIR;
    disp = load_bitmap((dir + "/vd60_rmu.bmp").c_str(), palette);
    pick = load_bitmap((dir + "/vd60_picker.bmp").c_str(), palette);
    if (!disp || !pick) {
        disp = create_bitmap(504, 700);
        pick = create_bitmap(560, 600);
        clear_to_color(disp, makecol(60, 60, 60));
        clear_to_color(pick, makecol(250, 250, 250));
    }
    screen = create_bitmap(1300, 1000);
}

// The layout as the layout operations leave it, with the radios powered and shown.
void layout(int w, int h) {
    width = w;
    height = h;
    gap = 75;
    extra_border = 0;
    angle = 0;
    x_scale_factor = width / 504.0f;
    y_scale_factor = height / 700.0f;
    if (scrat)
        destroy_bitmap(scrat);
    scrat = create_bitmap(2 * width + gap, height);
    connected = 1;
    electrics = 1;
    loop = 1;
    rmu_edit = 1;
    strcpy(com1_disp1, "121.500");
    strcpy(com1_disp2, "118.025");
    strcpy(nav1_disp1, "110.300");
    strcpy(nav1_disp2, "108.000");
    strcpy(com2_disp1, "136.975");
    strcpy(com2_disp2, "123.450");
    strcpy(nav2_disp1, "117.950");
    strcpy(nav2_disp2, "109.150");
    strcpy(xpndr_disp, "7654");
    strcpy(adf_disp, "1234.5");
}

void BM_RmuDisplayVsRotate(benchmark::State &state) {
    load_artwork();
    layout((int)state.range(0), (int)state.range(1));
    BITMAP *same = create_bitmap(scrat->w, scrat->h);
    clear_to_color(same, makecol(200, 100, 50));
    rectfill(same, 10, 10, same->w / 2, same->h / 2, bitmap_mask_color(same));
    std::vector<double> t_display, t_rotate;
    for (auto _ : state) {
        double a = now_us();
        rmu_display();
        double b = now_us();
        rotate_scaled_sprite(screen, same, 0, 0, ftofix(0.0), ftofix(1.0));
        double c = now_us();
        t_display.push_back(b - a);
        t_rotate.push_back(c - b);
    }
    double display = median(t_display), rotate = median(t_rotate);
    state.counters["display_us"] = display;
    state.counters["rotate_us"] = rotate;
    state.counters["display/rotate"] = display / rotate;
    destroy_bitmap(same);
}
// Five runs of each size, of which the median is reported.
BENCHMARK(BM_RmuDisplayVsRotate)
    ->Args({280, 400})
    ->Args({560, 800})
    ->MinTime(1.0)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
