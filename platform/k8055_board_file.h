// The virtual K8055 boards: one small shared file "<endpoint folder>/k8055-boards" that the
// virtual boards' back-end (boards/virtual.cpp) and the valdora-boards tool both map.
// It holds, for each board address 0 to 3, whether the board is plugged in, its inputs (set by
// the tool) and its outputs (set by the program). Every field is a single byte, read and
// written with atomic byte accesses, so two processes never need a lock. docs/virtual-boards.md
// describes the layout for outsiders.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define K8055_BOARD_MAGIC 0x3530384Bu // "K805" little-endian
#define K8055_BOARD_VERSION 1u
#define K8055_BOARD_FILE_NAME "k8055-boards"
#define K8055_BOARDS 4 // addresses 0 to 3
#define K8055_DIGITAL_INPUTS 5
#define K8055_ANALOG_INPUTS 2
#define K8055_DIGITAL_OUTPUTS 8
#define K8055_ANALOG_OUTPUTS 2

// One board: 24 bytes, all single bytes.
struct k8055_board {
    uint8_t plugged;                            // 1 while the board is plugged in
    uint8_t opened;                             // 1 while a program has it open
    uint8_t digital_in[K8055_DIGITAL_INPUTS];   // inputs 1..5: 1 active (switch closed)
    uint8_t analog_in[K8055_ANALOG_INPUTS];     // analog inputs 1..2: 0..255
    uint8_t digital_out[K8055_DIGITAL_OUTPUTS]; // outputs 1..8: 1 on
    uint8_t analog_out[K8055_ANALOG_OUTPUTS];   // analog output levels 1..2: 0..255
    uint8_t reserved[5];                        // zero
};

// The whole file: a 16-byte header and the four boards (112 bytes).
struct k8055_board_file {
    uint32_t magic;    // K8055_BOARD_MAGIC
    uint32_t version;  // K8055_BOARD_VERSION
    uint32_t size;     // sizeof(struct k8055_board_file)
    uint32_t reserved; // zero
    struct k8055_board boards[K8055_BOARDS];
};

// A mapping of the board file.
struct k8055_board_map {
    int fd;                        // the open file, -1 when not mapped
    struct k8055_board_file *file; // the mapped contents, NULL when not mapped
};

// One byte of the shared file, read or written as a whole by either process.
static inline uint8_t k8055_board_get(const uint8_t *p) {
    return __atomic_load_n(p, __ATOMIC_ACQUIRE);
}
static inline void k8055_board_put(uint8_t *p, uint8_t v) {
    __atomic_store_n(p, v, __ATOMIC_RELEASE);
}

// Writes the board file's path into out (creating the endpoint folder when missing); 0 or -1.
int k8055_board_path(char *out, size_t size);
// Maps an existing, valid board file; 0 on success, -1 when there is none (m is then unmapped).
int k8055_board_open(struct k8055_board_map *m);
// Maps the board file, creating it (no board plugged) when missing; 0 on success, -1 on failure.
int k8055_board_create(struct k8055_board_map *m);
// Unmaps and closes; safe on an unmapped m.
void k8055_board_close(struct k8055_board_map *m);
// 1 when the mapped file has been removed from the folder since it was mapped (or m is unmapped).
int k8055_board_gone(const struct k8055_board_map *m);
// Removes the board file from the folder after unplugging every board in it; 0 or -1.
int k8055_board_remove(void);
// Takes (hold 1) or lets go of (hold 0) one board for this process, as a real board answers
// one program at a time; 0, or -1 when another process holds it. Ends with the process.
int k8055_board_hold(struct k8055_board_map *m, long address, int hold);

// Waits the time one input reading takes on the real board, us microseconds. It is the
// hardware's own time, not a pause of the program: tests that record or skip the program's
// pauses must not see it (they set VALDORA_K8055_READ_US to 0 instead).
void k8055_board_exchange(long us);
