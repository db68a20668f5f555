// The POSIX IPC transport's wire constants and the helpers that clients (ipc_unix.cpp) and
// servers (the stand-in simulator, bridges) share: endpoint folder, message numbers, frames and
// block names. Plain C types only, so a server can use it without pulling in the GUI library.
// The protocol is described for outsiders in docs/ipc-transport.md.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define IPC_MAGIC 0x43504956u            // "VIPC" little-endian, first word of every frame
#define IPC_REQUEST_HEADER 18            // magic, msg, wParam, lParam (u32 each), name length (u16)
#define IPC_REPLY_SIZE 8                 // magic, result (u32 each)
#define IPC_NAME_MAX 255                 // longest atom text carried by a request
#define IPC_PATH_MAX 512                 // room for any endpoint path we build
#define IPC_BLOCK_PREFIX "FsasmLib:IPC:" // every block name a server accepts starts so

// Writes the endpoint folder into out ($VALDORA_IPC_DIR, else $XDG_RUNTIME_DIR/valdora, else
// /tmp/valdora-<uid>) and makes it with mode 0700 when missing. 0 on success; -1 when it does
// not fit or is not a folder of ours.
int ipc_endpoint_dir(char *out, size_t size);
// The same without creating it (clients: no folder, no server); -1 also when it is missing.
int ipc_endpoint_dir_existing(char *out, size_t size);
// Writes <folder>/<window_class>.sock into out (create as above); 0 on success, -1 when the
// folder is unusable, the path does not fit or the class is not a plain name.
int ipc_socket_path(const char *window_class, char *out, size_t size, int create);
// The number RegisterWindowMessageA gives a name: 0xC000 + (FNV-1a 32 of its bytes % 0x4000).
uint32_t ipc_message_number(const char *name);
// 1 when name is "FsasmLib:IPC:" followed by two hex numbers of 1 to 8 digits joined by ':'.
int ipc_block_name_valid(const char *name);

// Little-endian helpers for frames and request blocks.
static inline uint32_t ipc_get32(const uint8_t *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static inline uint16_t ipc_get16(const uint8_t *p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}
static inline void ipc_put32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
static inline void ipc_put16(uint8_t *p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
