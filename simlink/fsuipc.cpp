// The FSUIPC IPC client: opens a named shared block, queues read and write records into it,
// hands it to the simulator's server with one window message and delivers the read results.
// Uses only the Win32 names of platform/platform.h, so it builds against the real API too.
#include "simlink/simlink.h"

#include <stdio.h>
#include <string.h>

#define FS6IPC_MESSAGENAME "FsasmLib:IPC"
#define FS6IPC_READSTATEDATA_ID 1
#define FS6IPC_WRITESTATEDATA_ID 2
#define FSUIPC_BLOCK_SIZE 0x8000 // bytes of the shared block
#define FSUIPC_CAPACITY 0x7F00   // queued bytes a request may fill up to (end-marker headroom)
#define FSUIPC_READ_HEADER 16    // identifier, offset, size, destination
#define FSUIPC_WRITE_HEADER 12   // identifier, offset, size
#define FSUIPC_RECORD_COST 16    // header bytes counted against the capacity for any record
// The capacity rule is the only limit on the queue: its smallest record, a write of no bytes,
// advances 12 bytes, so the table holds as many of those as the rule lets in.
#define FSUIPC_MAX_RECORDS ((FSUIPC_CAPACITY - FSUIPC_RECORD_COST) / FSUIPC_WRITE_HEADER + 1)

// One request as the client queued it. Destinations are pointers, wider than the record's
// 4-byte field on 64-bit systems, so the reply walk finds them here; place and size come from
// here too, so a server's changes to the block cannot steer a copy anywhere else.
typedef struct {
    DWORD id;     // FS6IPC_READSTATEDATA_ID or FS6IPC_WRITESTATEDATA_ID
    DWORD place;  // bytes from the block's start to the record's header
    DWORD size;   // bytes of its data area
    void *dest;   // a read's destination (NULL for writes)
    DWORD offset; // the simulator offset it names
} fsuipc_record;

static HWND m_hWnd = 0;
static UINT m_msg = 0;
static ATOM m_atom = 0;
static HANDLE m_hMap = 0;
static BYTE *m_pView = 0;
static BYTE *m_pNext = 0;
static fsuipc_record m_records[FSUIPC_MAX_RECORDS];
// Over the network link the queue is built here instead of in a shared block.
static BYTE net_block[FSUIPC_BLOCK_SIZE];
static int m_nRecords = 0;

const char *FSUIPC_Server_Class = "";

// The last call made, for telling which exchange failed: 'r' read, 'w' write, 'p' process.
static char last_call = 0;
static DWORD last_offset = 0;
static int last_records = 0;

static BOOL fsuipc_result(DWORD *result, DWORD code) {
    if (result)
        *result = code;
    return code == FSUIPC_ERR_OK;
}

static void put_dword(BYTE *p, DWORD v) {
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
    p[2] = (BYTE)(v >> 16);
    p[3] = (BYTE)(v >> 24);
}

static DWORD get_dword(const BYTE *p) {
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

// Bytes queued so far.
static DWORD queued_bytes(void) {
    return (DWORD)(m_pNext - m_pView);
}

// The capacity rule: queued + size + 16 must not pass 0x7F00 (counted without overflow).
static int fits(DWORD size) {
    return (unsigned long long)queued_bytes() + size + FSUIPC_RECORD_COST <= FSUIPC_CAPACITY;
}

void FSUIPC_Close(void) {
    if (m_pView == net_block) {
        sim_net_disconnect();
        m_pView = 0;
    }
    m_hWnd = 0;
    m_msg = 0;
    if (m_atom) {
        GlobalDeleteAtom(m_atom);
        m_atom = 0;
    }
    if (m_pView) {
        UnmapViewOfFile(m_pView);
        m_pView = 0;
    }
    if (m_hMap) {
        CloseHandle(m_hMap);
        m_hMap = 0;
    }
}

// Queues a read; special reads carry the destination's current bytes to the server.
static BOOL FSUIPC_ReadCommon(BOOL special, DWORD offset, DWORD size, void *dest, DWORD *result) {
    last_call = 'r';
    last_offset = offset;
    if (!m_pView)
        return fsuipc_result(result, FSUIPC_ERR_NOTOPEN);
    if (!fits(size))
        return fsuipc_result(result, FSUIPC_ERR_SIZE);
    fsuipc_record *r = &m_records[m_nRecords++];
    r->id = FS6IPC_READSTATEDATA_ID;
    r->place = queued_bytes();
    r->size = size;
    r->dest = dest;
    r->offset = offset;
    put_dword(m_pNext, FS6IPC_READSTATEDATA_ID);
    put_dword(m_pNext + 4, offset);
    put_dword(m_pNext + 8, size);
    put_dword(m_pNext + 12, (DWORD)(size_t)dest);
    m_pNext += FSUIPC_READ_HEADER;
    if (size) {
        if (special && dest)
            memcpy(m_pNext, dest, size);
        else
            memset(m_pNext, 0, size);
        m_pNext += size;
    }
    return fsuipc_result(result, FSUIPC_ERR_OK);
}

BOOL FSUIPC_Read(DWORD offset, DWORD size, void *dest, DWORD *result) {
    return FSUIPC_ReadCommon(FALSE, offset, size, dest, result);
}

BOOL FSUIPC_ReadSpecial(DWORD offset, DWORD size, void *dest, DWORD *result) {
    return FSUIPC_ReadCommon(TRUE, offset, size, dest, result);
}

BOOL FSUIPC_Write(DWORD offset, DWORD size, void *src, DWORD *result) {
    last_call = 'w';
    last_offset = offset;
    if (!m_pView)
        return fsuipc_result(result, FSUIPC_ERR_NOTOPEN);
    if (!fits(size))
        return fsuipc_result(result, FSUIPC_ERR_SIZE);
    fsuipc_record *r = &m_records[m_nRecords++];
    r->id = FS6IPC_WRITESTATEDATA_ID;
    r->place = queued_bytes();
    r->size = size;
    r->dest = 0;
    r->offset = offset;
    put_dword(m_pNext, FS6IPC_WRITESTATEDATA_ID);
    put_dword(m_pNext + 4, offset);
    put_dword(m_pNext + 8, size);
    m_pNext += FSUIPC_WRITE_HEADER;
    if (size) {
        if (src)
            memcpy(m_pNext, src, size);
        else
            memset(m_pNext, 0, size);
        m_pNext += size;
    }
    return fsuipc_result(result, FSUIPC_ERR_OK);
}

BOOL FSUIPC_Process(DWORD *result) {
    last_call = 'p';
    last_records = m_nRecords;
    last_offset = m_nRecords > 0 ? m_records[0].offset : 0;
    if (!m_pView)
        return fsuipc_result(result, FSUIPC_ERR_NOTOPEN);
    if (m_pNext == m_pView)
        return fsuipc_result(result, FSUIPC_ERR_NODATA);

    // End marker, then the queue counts as empty whatever the exchange brings.
    put_dword(m_pNext, 0);
    m_pNext = m_pView;
    int records = m_nRecords;
    m_nRecords = 0;

    DWORD_PTR reply = 0;
    int sent = 0;
    if (m_pView == net_block) {
        // The end marker stands where the queue ended; the exchange stops there.
        if (sim_net_exchange(m_pView, FSUIPC_BLOCK_SIZE) != 0)
            return fsuipc_result(result, FSUIPC_ERR_NET);
        sent = 1, reply = 1;
    }
    for (int attempt = 0; attempt < 9 && !sent; attempt++) {
        if (SendMessageTimeoutA(m_hWnd, m_msg, (WPARAM)m_atom, 0, SMTO_BLOCK, 2000, &reply))
            sent = 1;
        else
            Sleep(100);
    }
    if (!sent)
        return fsuipc_result(result, GetLastError() ? FSUIPC_ERR_SENDMSG : FSUIPC_ERR_TIMEOUT);
    if (reply != 1)
        return fsuipc_result(result, FSUIPC_ERR_DATA);

    // Deliver the reads, record by record as queued. Only the identifier is taken from the
    // block; an identifier of 0 ends the walk, an unknown one is cleared and ends it too.
    for (int i = 0; i < records; i++) {
        const fsuipc_record *r = &m_records[i];
        BYTE *p = m_pView + r->place;
        DWORD id = get_dword(p);
        if (id == 0)
            break;
        if (id == FS6IPC_READSTATEDATA_ID) {
            if (r->id == FS6IPC_READSTATEDATA_ID && r->dest && r->size)
                memcpy(r->dest, p + FSUIPC_READ_HEADER, r->size);
        } else if (id != FS6IPC_WRITESTATEDATA_ID) {
            put_dword(p, 0);
            break;
        }
    }
    return fsuipc_result(result, FSUIPC_ERR_OK);
}

int FSUIPC_Listen_Only = 0;

BOOL FSUIPC_Open(DWORD fs_requested, DWORD *result) {
    static int nTry = 0;
    if (m_pView)
        return fsuipc_result(result, FSUIPC_ERR_OPEN);
    FSUIPC_Version = 0;
    FSUIPC_FS_Version = 0;

    int fs98_only = 0;
    if (sim_address[0]) {
        // The network link: a connection instead of a window and a block, then the same
        // version exchange.
        if (sim_net_connect() != 0)
            return fsuipc_result(result, FSUIPC_ERR_NET);
        FSUIPC_Server_Class = sim_address;
        m_pView = net_block;
        goto exchange;
    }
    FSUIPC_Server_Class = "UIPCMAIN";
    m_hWnd = FindWindowExA(NULL, NULL, "UIPCMAIN", NULL);
    if (!m_hWnd) {
        m_hWnd = FindWindowExA(NULL, NULL, "FS98MAIN", NULL);
        fs98_only = 1;
        FSUIPC_Server_Class = "FS98MAIN";
        if (!m_hWnd) {
            FSUIPC_Server_Class = "";
            return fsuipc_result(result, FSUIPC_ERR_NOFS);
        }
    }
    m_msg = RegisterWindowMessageA(FS6IPC_MESSAGENAME);
    if (m_msg == 0)
        return fsuipc_result(result, FSUIPC_ERR_REGMSG);

    char name[64];
    nTry++;
    wsprintfA(name, FS6IPC_MESSAGENAME ":%X:%X", GetCurrentProcessId(), nTry);

    m_atom = GlobalAddAtomA(name);
    if (m_atom == 0) {
        FSUIPC_Close();
        return fsuipc_result(result, FSUIPC_ERR_ATOM);
    }
    m_hMap =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, FSUIPC_BLOCK_SIZE, name);
    if (!m_hMap || GetLastError() == ERROR_ALREADY_EXISTS) {
        FSUIPC_Close();
        return fsuipc_result(result, FSUIPC_ERR_MAP);
    }
    m_pView = (BYTE *)MapViewOfFile(m_hMap, FILE_MAP_WRITE, 0, 0, 0);
    if (!m_pView) {
        FSUIPC_Close();
        return fsuipc_result(result, FSUIPC_ERR_VIEW);
    }
exchange:
    m_pNext = m_pView;
    m_nRecords = 0;

    // Version exchange: ask until both values are in, five exchanges at most; the library
    // version is told in the first one only.
    DWORD rc = FSUIPC_ERR_OK;
    for (int pass = 1; pass <= 5; pass++) {
        if (pass > 1 && FSUIPC_Version && FSUIPC_FS_Version)
            break;
        if (!FSUIPC_Read(0x3304, 4, &FSUIPC_Version, &rc) ||
            !FSUIPC_Read(0x3308, 4, &FSUIPC_FS_Version, &rc)) {
            FSUIPC_Close();
            return fsuipc_result(result, FSUIPC_ERR_SIZE);
        }
        if (pass == 1 && !FSUIPC_Listen_Only &&
            !FSUIPC_Write(0x330A, 2, &FSUIPC_Lib_Version, &rc)) {
            FSUIPC_Close();
            return fsuipc_result(result, rc);
        }
        if (!FSUIPC_Process(&rc)) {
            FSUIPC_Close();
            return fsuipc_result(result, rc);
        }
        Sleep(100);
    }

    if (FSUIPC_Version < 0x19980005 || (FSUIPC_FS_Version & 0xFFFF0000) != 0xFADE0000) {
        FSUIPC_Close();
        return fsuipc_result(result, fs98_only ? FSUIPC_ERR_RUNNING : FSUIPC_ERR_VERSION);
    }
    FSUIPC_FS_Version &= 0xFFFF;
    if (fs_requested && fs_requested != FSUIPC_FS_Version) {
        FSUIPC_Close();
        return fsuipc_result(result, FSUIPC_ERR_WRONGFS);
    }
    return fsuipc_result(result, FSUIPC_ERR_OK);
}

void FSUIPC_Last_Call(char *out, size_t size) {
    if (last_call == 'p')
        snprintf(out, size, "exchange of %d requests from 0x%04X", last_records,
                 (unsigned)last_offset);
    else if (last_call == 'r' || last_call == 'w')
        snprintf(out, size, "%s of 0x%04X", last_call == 'r' ? "read" : "write",
                 (unsigned)last_offset);
    else
        snprintf(out, size, "no call");
}

const char *FSUIPC_Result_Text(DWORD code) {
#define FSUIPC_RESULT_TEXT(name, text) text,
    static const char *const texts[] = {FSUIPC_RESULTS(FSUIPC_RESULT_TEXT)};
#undef FSUIPC_RESULT_TEXT
    return code < sizeof texts / sizeof texts[0] ? texts[code] : "unknown result";
}
