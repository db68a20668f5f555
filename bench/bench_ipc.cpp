// IPC benchmark: one FSUIPC_Process of the radio read's fourteen records against the transport's
// real server (in a thread of this process, the same server valdora-sim runs), measured side by
// side with the floor of the transport: a bare Unix-socket ping-pong of the same frame sizes
// plus one copy of the block, and with what a futex wake-up in shared memory would cost for the
// same round trip. Iterations alternate between the three, so the machine's load falls on all
// alike; the counters give each median in microseconds and the ratios of the medians (medians,
// since a shared machine's scheduling puts a long tail on any one of them).
#include "platform/ipc_transport.h"
#include "platform/platform.h"
#include "sim/sim.h"
#include "simlink/simlink.h"

#include "bench/radio_read.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <linux/futex.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> &v) {
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

sim_server server;
std::atomic<int> serving(0);
char folder[64];
const size_t block_size = 0x8000; // the client's block

double now_us() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

void start_server() {
    if (serving.load())
        return;
    strcpy(folder, "/tmp/valdora-bench-XXXXXX");
    if (!mkdtemp(folder))
        abort();
    setenv("VALDORA_IPC_DIR", folder, 1);
    sim_reset();
    if (sim_server_open(&server, "FS98MAIN") == -1)
        abort();
    serving = 1;
    std::thread([] {
        while (serving.load())
            sim_server_poll(&server, 20);
    }).detach();
    DWORD rc;
    if (!FSUIPC_Open(0, &rc))
        abort();
}

void stop_server() {
    FSUIPC_Close();
    serving = 0;
    usleep(50000);
    sim_server_close(&server);
    rmdir(folder);
}

// The floor: a request frame of the client's size over a Unix stream socket, the peer copies
// the block once and answers with a reply frame of the same size.
struct socket_floor {
    int fds[2];
    size_t req_size; // a request frame with a block name as long as the client's
    std::thread peer;
    uint8_t *block, *copy;
    socket_floor() {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            abort();
        req_size = IPC_REQUEST_HEADER +
                   (size_t)snprintf(NULL, 0, "FsasmLib:IPC:%X:%X", (unsigned)getpid(), 1u);
        block = (uint8_t *)calloc(1, block_size);
        copy = (uint8_t *)calloc(1, block_size);
        peer = std::thread([this] {
            uint8_t req[IPC_REQUEST_HEADER + IPC_NAME_MAX], reply[IPC_REPLY_SIZE] = {};
            size_t want = req_size;
            for (;;) {
                size_t got = 0;
                while (got < want) {
                    ssize_t n = recv(fds[1], req + got, want - got, 0);
                    if (n <= 0)
                        return;
                    got += (size_t)n;
                }
                memcpy(copy, block, block_size);
                if (send(fds[1], reply, sizeof reply, MSG_NOSIGNAL) != (ssize_t)sizeof reply)
                    return;
            }
        });
    }
    ~socket_floor() {
        shutdown(fds[0], SHUT_RDWR);
        peer.join();
        close(fds[0]);
        close(fds[1]);
        free(block);
        free(copy);
    }
    void round_trip() {
        uint8_t req[IPC_REQUEST_HEADER + IPC_NAME_MAX] = {}, reply[IPC_REPLY_SIZE];
        if (send(fds[0], req, req_size, MSG_NOSIGNAL) != (ssize_t)req_size)
            abort();
        size_t got = 0;
        while (got < sizeof reply) {
            ssize_t n = recv(fds[0], reply + got, sizeof reply - got, 0);
            if (n <= 0)
                abort();
            got += (size_t)n;
        }
    }
};

// A futex word in memory shared with the peer: the client sets it to 1 and wakes the peer,
// which copies the block, sets it to 2 and wakes the client.
long futex(std::atomic<int> *word, int op, int value) {
    return syscall(SYS_futex, (int *)word, op, value, NULL, NULL, 0);
}
struct futex_floor {
    std::atomic<int> word{0};
    std::thread peer;
    uint8_t *block, *copy;
    futex_floor() {
        block = (uint8_t *)calloc(1, block_size);
        copy = (uint8_t *)calloc(1, block_size);
        peer = std::thread([this] {
            for (;;) {
                int w;
                while ((w = word.load()) == 0 || w == 2)
                    futex(&word, FUTEX_WAIT, w);
                if (w == 3)
                    return;
                memcpy(copy, block, block_size);
                word = 2;
                futex(&word, FUTEX_WAKE, 1);
            }
        });
    }
    ~futex_floor() {
        word = 3;
        futex(&word, FUTEX_WAKE, 1);
        peer.join();
        free(block);
        free(copy);
    }
    void round_trip() {
        word = 1;
        futex(&word, FUTEX_WAKE, 1);
        int w;
        while ((w = word.load()) == 1)
            futex(&word, FUTEX_WAIT, w);
        word = 0;
    }
};

void BM_IpcRadioReadVsFloor(benchmark::State &state) {
    start_server();
    socket_floor sock;
    futex_floor fut;
    std::vector<double> t_process, t_socket, t_futex;
    for (auto _ : state) {
        double a = now_us();
        radio_read();
        double b = now_us();
        sock.round_trip();
        double c = now_us();
        fut.round_trip();
        double d = now_us();
        t_process.push_back(b - a);
        t_socket.push_back(c - b);
        t_futex.push_back(d - c);
    }
    double process = median(t_process), floor = median(t_socket), futex = median(t_futex);
    state.counters["process_us"] = process;
    state.counters["floor_us"] = floor;
    state.counters["futex_us"] = futex;
    state.counters["process/floor"] = process / floor;
    state.counters["futex/floor"] = futex / floor;
    stop_server();
}
// Five runs, of which the median is reported: the ratios wander with the machine's load.
BENCHMARK(BM_IpcRadioReadVsFloor)
    ->MinTime(1.0)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
