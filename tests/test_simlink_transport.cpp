// The POSIX transport under the client: message numbers, atoms, shared blocks and their
// permissions and removal, the endpoint folder and the block names a server accepts.
#include "platform/ipc_transport.h"
#include "simlink/simlink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Env {
    std::string name, old;
    bool had;
    Env(const char *n, const char *value) : name(n) {
        const char *v = getenv(n);
        had = v != NULL;
        old = v ? v : "";
        value ? setenv(n, value, 1) : unsetenv(n);
    }
    ~Env() {
        had ? setenv(name.c_str(), old.c_str(), 1) : unsetenv(name.c_str());
    }
};

std::string block_name(unsigned pid, const char *tail) {
    char name[64];
    snprintf(name, sizeof name, "FsasmLib:IPC:%X:%s", pid, tail);
    return name;
}

// A block left behind by a dead process under that name, as shm_open leaves it.
void leave_block(const std::string &name) {
    int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 16), 0);
    close(fd);
}

TEST(Transport, MessageNumbersAndAtoms) {
    // Published FNV-1a 32 values: "a" 0xE40C292C, "foobar" 0xBF9CF968.
    EXPECT_EQ(RegisterWindowMessageA("a"), 0xC000u + 0xE40C292Cu % 0x4000u);
    EXPECT_EQ(RegisterWindowMessageA("foobar"), 0xC000u + 0xBF9CF968u % 0x4000u);
    EXPECT_EQ(RegisterWindowMessageA("FsasmLib:IPC"), ipc_message_number("FsasmLib:IPC"));
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);

    ATOM a = GlobalAddAtomA("FsasmLib:IPC:1:1");
    ATOM b = GlobalAddAtomA("FsasmLib:IPC:1:2");
    ASSERT_NE(a, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(GlobalAddAtomA("FsasmLib:IPC:1:1"), a); // the same text, one more reference
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalDeleteAtom(a), a); // gone: deleting again fails
    EXPECT_EQ(GlobalDeleteAtom(b), 0);
    EXPECT_EQ(GlobalAddAtomA(""), 0);
    EXPECT_EQ(GlobalAddAtomA(std::string(256, 'x').c_str()), 0);
}

TEST(Transport, BlocksArePrivateSharedAndRemovedByTheirCreator) {
    std::string name = block_name((unsigned)getpid(), "FFFF0"), path = "/dev/shm/" + name;
    HANDLE h =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name.c_str());
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), 0u);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0x8000);

    HANDLE again =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name.c_str());
    ASSERT_NE(again, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    uint8_t *v1 = (uint8_t *)MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0);
    uint8_t *v2 = (uint8_t *)MapViewOfFile(again, FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_TRUE(v1 && v2);
    v1[0x7FFF] = 0x42;
    EXPECT_EQ(v2[0x7FFF], 0x42);
    EXPECT_TRUE(UnmapViewOfFile(v2));
    EXPECT_FALSE(UnmapViewOfFile(v2));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(stat(path.c_str(), &st), 0) << "only the creator removes the name";
    EXPECT_TRUE(UnmapViewOfFile(v1));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_NE(stat(path.c_str(), &st), 0);
    EXPECT_FALSE(CloseHandle(h));
}

TEST(Transport, ABlockLeftUnderOurProcessNumberIsTakenOverButNoOtherOne) {
    std::string name = block_name((unsigned)getpid(), "FFFF1");
    leave_block(name);
    HANDLE h =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name.c_str());
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), 0u) << "a fresh block, not the dead one";
    struct stat st;
    ASSERT_EQ(stat(("/dev/shm/" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0x8000);
    EXPECT_TRUE(CloseHandle(h));

    name = block_name((unsigned)getpid() + 1, "FFFF1");
    leave_block(name);
    h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name.c_str());
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(h));
    shm_unlink(("/" + name).c_str());
}

TEST(Transport, EndpointFolderFollowsTheEnvironment) {
    char dir[IPC_PATH_MAX], sock[IPC_PATH_MAX];
    char tmp[] = "/tmp/valdora-xdg-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmp));
    {
        Env ipc("VALDORA_IPC_DIR", NULL), xdg("XDG_RUNTIME_DIR", tmp);
        ASSERT_EQ(ipc_endpoint_dir_existing(dir, sizeof dir), -1); // not made by a lookup
        ASSERT_EQ(ipc_endpoint_dir(dir, sizeof dir), 0);
        EXPECT_EQ(std::string(dir), std::string(tmp) + "/valdora");
        struct stat st;
        ASSERT_EQ(stat(dir, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        rmdir(dir);
    }
    {
        Env ipc("VALDORA_IPC_DIR", NULL), xdg("XDG_RUNTIME_DIR", NULL);
        ipc_endpoint_dir_existing(dir, sizeof dir);
        EXPECT_EQ(std::string(dir), "/tmp/valdora-" + std::to_string(getuid()));
    }
    {
        Env ipc("VALDORA_IPC_DIR", tmp), xdg("XDG_RUNTIME_DIR", "/nowhere");
        ASSERT_EQ(ipc_endpoint_dir_existing(dir, sizeof dir), 0);
        EXPECT_EQ(std::string(dir), tmp);
        ASSERT_EQ(ipc_socket_path("FS98MAIN", sock, sizeof sock, 0), 0);
        EXPECT_EQ(std::string(sock), std::string(tmp) + "/FS98MAIN.sock");
        EXPECT_EQ(ipc_socket_path("../FS98MAIN", sock, sizeof sock, 0), -1);
        EXPECT_EQ(FindWindowExA(NULL, NULL, "FS98MAIN", NULL), (HWND)NULL);
    }
    rmdir(tmp);
}

TEST(Transport, BlockNamesAServerAccepts) {
    const struct {
        const char *name;
        bool valid;
    } rows[] = {{"FsasmLib:IPC:1A2B:1", true}, {"FsasmLib:IPC:FFFFFFFF:FFFFFFFF", true},
                {"FsasmLib:IPC:1A2B:", false}, {"FsasmLib:IPC::1", false},
                {"FsasmLib:IPC:1:2:3", false}, {"FsasmLib:IPC:123456789:1", false},
                {"FsasmLib:IPC:1:G", false},   {"FsasmLib:IPC:1:1/../x", false},
                {"Other:1:1", false}};
    for (const auto &r : rows)
        EXPECT_EQ(ipc_block_name_valid(r.name), r.valid) << r.name;
}

} // namespace
