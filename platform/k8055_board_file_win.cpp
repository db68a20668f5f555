// The shared file of the virtual K8055 boards on Windows, used by the stand-in K8055D.dll and
// by valdora-boards.exe: "%VALDORA_IPC_DIR%\k8055-boards", else "%TEMP%\valdora\k8055-boards",
// mapped into both processes. The layout is the same as on Linux.
//
// Windows cannot unlink a file that another process has mapped, so removing the boards first
// marks the file as removed (its reserved header word); a mapping of a marked file counts as
// gone, and a marked file counts as absent until it is created afresh.
#include "platform/k8055_board_file.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define BOARD_FILE_REMOVED 0x444D5252u // "RRMD": the header's reserved word of a removed file
#define BOARD_FILE_SIZE ((DWORD)sizeof(struct k8055_board_file))

int k8055_board_path(char *out, size_t size) {
    char dir[MAX_PATH + 1];
    DWORD n = GetEnvironmentVariableA("VALDORA_IPC_DIR", dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) {
        char temp[MAX_PATH + 1];
        DWORD t = GetTempPathA(sizeof temp, temp);
        if (t == 0 || t >= sizeof temp)
            return -1;
        if (snprintf(dir, sizeof dir, "%svaldora", temp) >= (int)sizeof dir)
            return -1;
    }
    if (!CreateDirectoryA(dir, NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
        return -1;
    DWORD attr = GetFileAttributesA(dir);
    if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    int w = snprintf(out, size, "%s\\%s", dir, K8055_BOARD_FILE_NAME);
    if (w < 0 || (size_t)w >= size)
        return -1;
    return 0;
}

static HANDLE open_file(const char *path, DWORD disposition) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, disposition,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

// Maps the open file (and closes its handle: the view keeps the file in use). With
// accept_removed, a file marked as removed is mapped too. 0 or -1.
static int map_file(struct k8055_board_map *m, HANDLE file, int accept_removed) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < (LONGLONG)BOARD_FILE_SIZE) {
        CloseHandle(file);
        return -1;
    }
    HANDLE map = CreateFileMappingA(file, NULL, PAGE_READWRITE, 0, BOARD_FILE_SIZE, NULL);
    CloseHandle(file);
    if (!map)
        return -1;
    void *view = MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, BOARD_FILE_SIZE);
    CloseHandle(map);
    if (!view)
        return -1;
    struct k8055_board_file *f = (struct k8055_board_file *)view;
    if (f->magic != K8055_BOARD_MAGIC || f->version != K8055_BOARD_VERSION ||
        f->size != BOARD_FILE_SIZE || (!accept_removed && f->reserved == BOARD_FILE_REMOVED)) {
        UnmapViewOfFile(view);
        return -1;
    }
    m->fd = 0; // mapped (Windows keeps no descriptor for it)
    m->file = f;
    return 0;
}

static int open_path(struct k8055_board_map *m, int accept_removed) {
    m->fd = -1;
    m->file = NULL;
    char path[MAX_PATH + 32];
    if (k8055_board_path(path, sizeof path) == -1)
        return -1;
    HANDLE file = open_file(path, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    return map_file(m, file, accept_removed);
}

int k8055_board_open(struct k8055_board_map *m) {
    return open_path(m, 0);
}

// A board file with no board plugged in.
static void fresh_file(struct k8055_board_file *f) {
    memset(f, 0, sizeof *f);
    f->magic = K8055_BOARD_MAGIC;
    f->version = K8055_BOARD_VERSION;
    f->size = BOARD_FILE_SIZE;
}

static int create_once(struct k8055_board_map *m) {
    if (k8055_board_open(m) == 0)
        return 0;
    // A file marked as removed is made fresh in place (it may still be mapped elsewhere).
    if (open_path(m, 1) == 0) {
        struct k8055_board_file fresh;
        fresh_file(&fresh);
        // The header last, so that a reader sees the file valid only once it is whole.
        memcpy(m->file->boards, fresh.boards, sizeof fresh.boards);
        MemoryBarrier();
        m->file->reserved = 0;
        return 0;
    }
    char path[MAX_PATH + 32];
    if (k8055_board_path(path, sizeof path) == -1)
        return -1;
    HANDLE file = open_file(path, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE)
        return k8055_board_open(m); // another creator was first (or it cannot be made)
    struct k8055_board_file fresh;
    fresh_file(&fresh);
    DWORD written = 0;
    if (!WriteFile(file, &fresh, BOARD_FILE_SIZE, &written, NULL) || written != BOARD_FILE_SIZE) {
        CloseHandle(file);
        DeleteFileA(path);
        return -1;
    }
    return map_file(m, file, 0);
}

int k8055_board_create(struct k8055_board_map *m) {
    // A removed file that another process still maps may linger as "delete pending" for a
    // moment, during which its name can be neither opened nor made anew: try for a second.
    for (int attempt = 0; attempt < 50; attempt++) {
        if (create_once(m) == 0)
            return 0;
        Sleep(20);
    }
    return -1;
}

void k8055_board_close(struct k8055_board_map *m) {
    if (m->file)
        UnmapViewOfFile(m->file);
    m->file = NULL;
    m->fd = -1;
}

int k8055_board_gone(const struct k8055_board_map *m) {
    if (!m->file)
        return 1;
    return *(volatile uint32_t *)&m->file->reserved == BOARD_FILE_REMOVED;
}

int k8055_board_remove(void) {
    char path[MAX_PATH + 32];
    if (k8055_board_path(path, sizeof path) == -1)
        return -1;
    struct k8055_board_map m;
    if (open_path(&m, 1) == 0) {
        // A program that still has the file mapped sees every board unplugged, inputs open,
        // and the file gone.
        for (int b = 0; b < K8055_BOARDS; b++) {
            struct k8055_board *board = &m.file->boards[b];
            k8055_board_put(&board->plugged, 0);
            for (int i = 0; i < K8055_DIGITAL_INPUTS; i++)
                k8055_board_put(&board->digital_in[i], 0);
        }
        MemoryBarrier();
        m.file->reserved = BOARD_FILE_REMOVED;
        k8055_board_close(&m);
    }
    // Deleting fails while another process maps the file; the mark then stands for it.
    if (!DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        struct k8055_board_map check;
        if (open_path(&check, 0) == 0) { // there, and not marked: really not removed
            k8055_board_close(&check);
            return -1;
        }
    }
    return 0;
}

// The stand-in DLL keeps no handle on the file to lock: every process may take a board.
int k8055_board_hold(struct k8055_board_map *m, long address, int hold) {
    (void)m;
    (void)address;
    (void)hold;
    return 0;
}

// In whole milliseconds: the system's own wait is no finer.
void k8055_board_exchange(long us) {
    if (us >= 1000)
        Sleep((DWORD)(us / 1000));
}
