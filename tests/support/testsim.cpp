// The in-process stand-in simulator of the unit tests: the real server (sim/) on a private
// endpoint folder, served from a thread, recording writes and block names, able to refuse,
// ignore, hang up on or tamper with requests. Also the recording replacement for Sleep.
#include "tests/support/testsim.h"

#include "platform/platform.h"
#include "sim/sim.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <stdlib.h>
#include <string.h>
#include <thread>

static sim_server server;
static std::thread server_thread;
static std::atomic<int> serving(0), stop_serving(0);
static char folder[256];

static std::mutex record_lock; // guards the records below
static std::vector<testsim_write> writes;
static std::vector<std::string> names;
static std::vector<unsigned> pauses;

static std::atomic<int> misbehave_count(0), misbehave_reply(0), requests(0);
static std::atomic<void (*)(uint8_t *, size_t)> tamper_fn(nullptr);

uint32_t testsim_write::value() const {
    uint32_t v = 0;
    for (size_t i = 0; i < data.size() && i < 4; i++)
        v |= (uint32_t)data[i] << (8 * i);
    return v;
}

static void record_write(uint32_t offset, uint32_t size, const uint8_t *data) {
    std::lock_guard<std::mutex> g(record_lock);
    writes.push_back(testsim_write{offset, std::vector<uint8_t>(data, data + size)});
}

static int carry_out(const char *name, uint8_t *block, size_t size) {
    requests++;
    {
        std::lock_guard<std::mutex> g(record_lock);
        names.push_back(name);
    }
    if (misbehave_count.load() > 0) { // only this thread counts down
        misbehave_count--;
        return misbehave_reply.load();
    }
    int reply = sim_carry_out(name, block, size);
    void (*fn)(uint8_t *, size_t) = tamper_fn.load();
    if (reply == 1 && fn)
        fn(block, size);
    return reply;
}

static void serve(void) {
    while (!stop_serving.load())
        sim_server_poll(&server, 10);
}

void testsim_start(const char *window_class) {
    static int exit_hook = 0;
    if (!exit_hook++)
        atexit(testsim_stop);
    testsim_stop();
    strcpy(folder, "/tmp/valdora-testsim-XXXXXX");
    if (!mkdtemp(folder))
        abort();
    setenv("VALDORA_IPC_DIR", folder, 1), sim_reset(), sim_write_observer = record_write;
    testsim_clear_writes(), names.clear(); // the server is not running yet
    misbehave_count = requests = 0, tamper_fn = nullptr, server.carry_out = carry_out;
    if (sim_server_open(&server, window_class) == -1)
        fprintf(stderr, "testsim: cannot serve as %s in %s\n", window_class, folder), abort();
    stop_serving = 0, server_thread = std::thread(serve), serving = 1;
}

void testsim_stop(void) {
    if (!serving.exchange(0))
        return;
    stop_serving = 1, server_thread.join();
    sim_server_close(&server), sim_write_observer = NULL;
    std::error_code ignored; // the endpoint folder goes, with the boards' file and all else there
    std::filesystem::remove_all(folder, ignored);
}

std::vector<testsim_write> testsim_writes(void) {
    std::lock_guard<std::mutex> g(record_lock);
    return writes;
}

std::vector<testsim_write> testsim_writes_to(uint32_t offset) {
    std::vector<testsim_write> out;
    for (const testsim_write &w : testsim_writes())
        if (w.offset == offset)
            out.push_back(w);
    return out;
}

void testsim_clear_writes(void) {
    std::lock_guard<std::mutex> g(record_lock);
    writes.clear();
}

void testsim_fail_next(int n, int reply) {
    misbehave_reply = reply, misbehave_count = n;
}

int testsim_requests(void) {
    return requests.load();
}

void testsim_tamper(void (*fn)(uint8_t *block, size_t size)) {
    tamper_fn = fn;
}

std::vector<std::string> testsim_block_names(void) {
    std::lock_guard<std::mutex> g(record_lock);
    return names;
}

static void record_pause(DWORD ms) {
    std::lock_guard<std::mutex> g(record_lock);
    pauses.push_back((unsigned)ms);
}

void testsleep_record(void) {
    platform_sleep_hook = record_pause;
}

std::vector<unsigned> testsleep_pauses(void) {
    std::lock_guard<std::mutex> g(record_lock);
    return pauses;
}

void testsleep_clear(void) {
    std::lock_guard<std::mutex> g(record_lock);
    pauses.clear();
}

void testsleep_real(void) {
    platform_sleep_hook = NULL;
}
