// The server side of the simulator link on Windows, the way the simulator's FSUIPC module
// serves it: a top-level window of the simulator's class (never shown) that takes the
// registered message "FsasmLib:IPC", finds the client's shared block by the name behind the
// atom in wParam, carries out its records and answers 1 (0 when it cannot).
#include "sim/sim.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#define CLIENT_SEEN_MS 3000 // a client counts as connected this long after its last request

// Client processes seen lately (the block name carries the process id), for the status line.
struct win_client {
    DWORD pid;
    ULONGLONG last_ms;
};
static win_client seen[SIM_SERVER_CLIENTS];

static HWND server_window = NULL;
static ATOM server_class = 0;

static int hex_digits(const char *p, const char **end) {
    int n = 0;
    while ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'F') || (*p >= 'a' && *p <= 'f')) {
        p++;
        n++;
    }
    *end = p;
    return n;
}

// 1 when name is "FsasmLib:IPC:" and two hex numbers of 1 to 8 digits joined by ':'; the
// first (the client's process id) goes to *pid.
static int block_name_valid(const char *name, DWORD *pid) {
    static const char prefix[] = "FsasmLib:IPC:";
    if (strncmp(name, prefix, sizeof prefix - 1) != 0)
        return 0;
    const char *p = name + sizeof prefix - 1, *end;
    int n = hex_digits(p, &end);
    if (n < 1 || n > 8 || *end != ':')
        return 0;
    *pid = (DWORD)strtoul(p, NULL, 16);
    n = hex_digits(end + 1, &end);
    return n >= 1 && n <= 8 && *end == '\0';
}

static void client_seen(DWORD pid) {
    ULONGLONG now = GetTickCount64();
    int slot = 0;
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++) {
        if (seen[i].pid == pid) {
            slot = i;
            break;
        }
        if (seen[i].last_ms < seen[slot].last_ms)
            slot = i; // the oldest entry makes room
    }
    seen[slot].pid = pid;
    seen[slot].last_ms = now;
}

static int clients_now(void) {
    ULONGLONG now = GetTickCount64();
    int n = 0;
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++)
        if (seen[i].pid && now - seen[i].last_ms < CLIENT_SEEN_MS)
            n++;
    return n;
}

// Carries out the block named by the atom; the message's result.
static LRESULT serve_request(sim_server *s, ATOM atom) {
    s->requests++;
    char name[256];
    DWORD pid = 0;
    UINT n = GlobalGetAtomNameA(atom, name, sizeof name);
    if (n == 0 || n >= sizeof name - 1 || !block_name_valid(name, &pid))
        return 0;
    HANDLE map = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (!map)
        return 0;
    uint8_t *view = (uint8_t *)MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0);
    if (!view) {
        CloseHandle(map);
        return 0;
    }
    MEMORY_BASIC_INFORMATION info;
    size_t size = 0;
    if (VirtualQuery(view, &info, sizeof info) == sizeof info)
        size = info.RegionSize;
    if (size > SIM_BLOCK_MAX)
        size = SIM_BLOCK_MAX;
    int reply = 0;
    if (size >= 4) {
        // Worked on in a private copy, as on every platform: the client cannot change the
        // records while they are carried out.
        memcpy(s->block, view, size);
        reply = (s->carry_out ? s->carry_out : sim_carry_out)(name, s->block, size);
        if (reply == 1)
            memcpy(view, s->block, size);
    }
    UnmapViewOfFile(view);
    CloseHandle(map);
    client_seen(pid);
    s->clients_connected = clients_now();
    // The test answers that stand for a hung or vanished server have no Windows equivalent
    // in a window procedure: both are a refusal here.
    return reply == 1 ? 1 : 0;
}

static LRESULT CALLBACK server_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    sim_server *s = (sim_server *)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (s && msg == s->msg && msg != 0)
        return serve_request(s, (ATOM)wparam);
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

int sim_server_open(sim_server *s, const char *window_class) {
    memset(s, 0, sizeof *s);
    s->listen_fd = -1;
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++)
        s->clients[i].fd = -1;
    memset(seen, 0, sizeof seen);
    if (server_window || FindWindowExA(NULL, NULL, window_class, NULL))
        return -1; // a simulator already serves as this class
    s->msg = RegisterWindowMessageA("FsasmLib:IPC");
    if (!s->msg)
        return -1;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = server_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = window_class;
    server_class = RegisterClassA(&wc);
    if (!server_class)
        return -1;
    // A plain top-level window (so FindWindowEx from the desktop finds it) that is never shown.
    server_window = CreateWindowExA(0, window_class, window_class, WS_OVERLAPPED, 0, 0, 0, 0, NULL,
                                    NULL, wc.hInstance, NULL);
    if (!server_window) {
        UnregisterClassA(window_class, wc.hInstance);
        server_class = 0;
        return -1;
    }
    SetWindowLongPtrA(server_window, GWLP_USERDATA, (LONG_PTR)s);
    snprintf(s->path, sizeof s->path, "window %p of class %s", (void *)server_window, window_class);
    return 0;
}

int sim_server_poll(sim_server *s, int timeout_ms) {
    if (!server_window)
        return -1;
    // Messages sent from other processes are delivered while we look at our queue.
    MsgWaitForMultipleObjects(0, NULL, FALSE, timeout_ms < 0 ? 0 : (DWORD)timeout_ms, QS_ALLINPUT);
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    s->clients_connected = clients_now();
    return 0;
}

void sim_server_close(sim_server *s) {
    if (server_window) {
        SetWindowLongPtrA(server_window, GWLP_USERDATA, 0);
        DestroyWindow(server_window);
        server_window = NULL;
    }
    if (server_class) {
        UnregisterClassA((LPCSTR)(uintptr_t)server_class, GetModuleHandleA(NULL));
        server_class = 0;
    }
    s->clients_connected = 0;
}
