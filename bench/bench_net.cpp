// Network link benchmark: the RMU's radio read (fourteen records, one exchange) over the
// simulator's WebSocket protocol to the stand-in's server on loopback, against the same read
// over the local interface, in one run: the medians in microseconds and their ratio, and the
// CPU time the client's own threads (the main thread and, over the network, the link's reader)
// spend per exchange, which the machine's other load disturbs far less than wall time. What a
// read per pass costs is the network figure; a pushed subscription would save it at the price
// of values up to one interval old (the note in docs/network-link.md weighs the two).
#include "platform/platform.h"
#include "sim/sim.h"
#include "simlink/simlink.h"

#include "bench/radio_read.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <fstream>
#include <stdlib.h>
#include <string.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double now_us() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// CPU time of the calling thread and of the network link's reader (found by its name among
// the process's threads), in microseconds. The stand-in's servers run in this process too, so
// the process's own clock would count their work as well.
double client_cpu_us() {
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    double us = t.tv_sec * 1e6 + t.tv_nsec / 1e3;
    DIR *d = opendir("/proc/self/task");
    for (struct dirent *e; d && (e = readdir(d));) {
        std::string task = std::string("/proc/self/task/") + e->d_name, name;
        std::getline(std::ifstream(task + "/comm"), name);
        double ns = 0;
        if (name == "valdora-net-rea" && (std::ifstream(task + "/schedstat") >> ns))
            us += ns / 1e3;
    }
    if (d)
        closedir(d);
    return us;
}

// Times n radio reads over the link now open, a short pause between them as the program makes
// between its passes; every tenth finds COM1 changed, as a flying aircraft's radios rarely
// change. Adds the client's CPU time per read to *cpu.
std::vector<double> passes(int n, std::vector<double> *cpu) {
    std::vector<double> t;
    double c = client_cpu_us();
    for (int i = 0; i < n; i++) {
        if (i % 10 == 0)
            sim_set(0x034E, 2, 0x1800 + (uint32_t)(i & 0xF));
        double a = now_us();
        radio_read();
        t.push_back(now_us() - a);
        usleep(2000);
    }
    cpu->push_back((client_cpu_us() - c) / n);
    return t;
}

void BM_NetRadioReadVsLocal(benchmark::State &state) {
    char folder[] = "/tmp/valdora-bench-XXXXXX";
    if (!mkdtemp(folder))
        abort();
    setenv("VALDORA_IPC_DIR", folder, 1);
    sim_reset();
    static sim_server server;
    if (sim_server_open(&server, "FS98MAIN") == -1)
        abort();
    std::atomic<int> serving(1);
    std::thread poller([&] {
        while (serving.load())
            sim_server_poll(&server, 20);
    });
    int port = 0;
    for (int tries = 0; tries < 20 && !port; tries++) {
        int p = 30000 + rand() % 20000;
        if (sim_net_serve(p) == 0)
            port = p;
    }
    if (!port)
        abort();
    std::vector<double> local, net, local_cpu, net_cpu;
    DWORD rc;
    for (auto _ : state) {
        sim_address[0] = 0;
        if (!FSUIPC_Open(0, &rc))
            abort();
        auto l = passes(50, &local_cpu);
        FSUIPC_Close();
        local.insert(local.end(), l.begin(), l.end());
        snprintf(sim_address, sizeof sim_address, "ws://127.0.0.1:%d", port);
        if (!FSUIPC_Open(0, &rc))
            abort();
        auto n = passes(50, &net_cpu);
        FSUIPC_Close();
        net.insert(net.end(), n.begin(), n.end());
    }
    state.counters["local_us"] = median(local);
    state.counters["network_us"] = median(net);
    state.counters["network/local"] = median(net) / median(local);
    state.counters["local_cpu_us"] = median(local_cpu);
    state.counters["network_cpu_us"] = median(net_cpu);
    sim_net_stop();
    serving = 0;
    poller.join();
    sim_server_close(&server);
    rmdir(folder);
}
BENCHMARK(BM_NetRadioReadVsLocal)->Iterations(10)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
