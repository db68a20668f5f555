// The common fixture of the cockpit-input tests: the stand-in simulator in a thread, the
// virtual boards in its private folder with no read time, pauses recorded, and the room's
// state put back to its start values around every test.
#pragma once

#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "platform/k8055_board_file.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testboards.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

typedef std::vector<unsigned> Pauses;

class K8055Test : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
    }
    void SetUp() override {
        reset_state();
        testsleep_record();
        testsim_start();
        connect_to_sim();
        ASSERT_EQ(connected, 1);
        testboards_start();
        forget();
    }
    void TearDown() override {
        testsim_tamper(nullptr);
        k8055_close();
        reset_state();
        testboards_stop();
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    static void reset_state() {
        loop = 1;
        velkit = vel_zero = vel_one = vel_two = vel_three = 0;
        step_increase1 = step_increase2 = step_increase3 = press_length2 = 0;
        silence = spd = apu_status = eng1_starting = eng2_starting = 0;
        on_ground = rmu_edit = eng1_start_phase = eng2_start_phase = eng_autostart = 1;
        l_throttle_enabled = r_throttle_enabled = spoilers_enabled = flaps_enabled = 0;
        rudder_enabled = toe_brakes_enabled = yoke_lr_enabled = yoke_fb_enabled = 0;
        k8055_search_extra = 0;
    }
    // Plugs the given boards in, runs the discovery, then forgets what it did.
    void discover(std::initializer_list<int> boards) {
        for (int b : boards)
            testboards_plug(b, 1);
        k8055_initialise();
        forget();
    }
    static void forget() {
        testsim_clear_writes();
        testsleep_clear();
        testboards_trace_clear();
    }
    static int pass() {
        forget();
        return k8055_inputs();
    }
    static std::vector<uint32_t> written(uint32_t offset) {
        std::vector<uint32_t> out;
        for (const testsim_write &w : testsim_writes_to(offset))
            out.push_back(w.value());
        return out;
    }
    static int calls(const std::string &op) {
        int n = 0;
        for (const testboards_call &c : testboards_trace())
            n += c.op == op;
        return n;
    }
};

// Refuses the request that follows the next `successes` successful ones.
inline std::atomic<int> &successes_left() {
    static std::atomic<int> n(0);
    return n;
}
inline void count_down(uint8_t *, size_t) {
    if (--successes_left() == 0) {
        testsim_fail_next(1);
        testsim_tamper(nullptr);
    }
}
inline void fail_after(int successes) {
    if (successes == 0)
        return testsim_fail_next(1);
    successes_left() = successes;
    testsim_tamper(count_down);
}

// Releases a board's input from another thread once the program has read it `reads` times
// more, so a test sees the program wait for the release (it reads on without pausing).
class Releaser {
  public:
    Releaser(int board, int channel, int reads = 5)
        : board_(board), channel_(channel), thread_([this, reads] {
              // A program that never reads the input must fail the test, not hang it.
              auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
              int start = testboards_reads(board_, channel_);
              while (testboards_reads(board_, channel_) < start + reads &&
                     std::chrono::steady_clock::now() < give_up)
                  std::this_thread::yield();
              released_at_ = testboards_reads(board_, channel_); // before the input opens
              released_ = 1;
              testboards_press(board_, channel_, 0);
          }) {}
    ~Releaser() {
        join();
    }
    void join() {
        if (thread_.joinable())
            thread_.join();
    }
    int released() const {
        return released_.load();
    }
    int released_at() const {
        return released_at_.load();
    }

  private:
    int board_, channel_;
    std::atomic<int> released_{0}, released_at_{0};
    std::thread thread_;
};
