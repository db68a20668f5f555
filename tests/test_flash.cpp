// valdora-flash: the Intel HEX reader, and the flashing steps against a scripted STK500v2
// bootloader on a pseudo-terminal (signature, baud fallback, lost answers, verify).
#include "boards/serial.h"
#include "flash/flash.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <string.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

static struct flash_image img;
typedef std::vector<uint8_t> Bytes;
typedef std::vector<long> Longs;

// What the reader says about a file it refuses ("accepted" when it takes it).
static std::string refusal(const char *text) {
    int r = ihex_parse(text, strlen(text), &img);
    return r == 0 ? "accepted" : r == -1 ? flash_error : "neither 0 nor -1";
}
static long open_files() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}
static bool has(const std::string &s, const std::string &part) {
    return s.find(part) != std::string::npos;
}

TEST(Ihex, SegmentAndLinearRecordsPlaceTheData) {
    ASSERT_EQ(refusal(":020000021000EC\n:0400100001020304E2\n:020000040002F8\r\n:02010000AABB98\n"
                      ":040000030000E00019\n:00000001FF\n"),
              "accepted");
    EXPECT_EQ(memcmp(img.bytes + 0x10010, "\1\2\3\4", 4), 0);
    EXPECT_EQ(memcmp(img.bytes + 0x20100, "\xAA\xBB\xFF", 3), 0);
    EXPECT_EQ(img.size, 0x20102u);
    // A segment's offset wraps within its 64 KiB; a linear address record ends that.
    ASSERT_EQ(refusal(":020000022000DC\n:02FFFF00556645\n:00000001FF\n"), "accepted");
    EXPECT_EQ(img.bytes[0x2FFFF] << 8 | img.bytes[0x20000], 0x5566);
    ASSERT_EQ(refusal(":020000021000EC\n:020000040001F9\n:02FFFF00778801\n:00000001FF\n"),
              "accepted");
    EXPECT_EQ((Bytes{img.bytes[0x1FFFF], img.bytes[0x20000], img.bytes[0x10000]}),
              (Bytes{0x77, 0x88, 0xFF}));
    // What editors write: a byte order mark, CR-only or CR LF line ends, trailing blanks.
    ASSERT_EQ(refusal("\xEF\xBB\xBF:020010000001ED \t\r:0100200002DD\r\n\r\n:00000001FF  \r\n"),
              "accepted");
    EXPECT_EQ((Bytes{img.bytes[0x10], img.bytes[0x11], img.bytes[0x20]}), (Bytes{0, 1, 2}));
    // The image may end just below the boot section.
    EXPECT_EQ(refusal(":020000023DF0CF\n:0100FF0011EF\n:00000001FF\n"), "accepted");
    EXPECT_EQ(img.size, 253952u);
}

TEST(Ihex, DamagedFilesAreRefusedNamingTheLine) {
    EXPECT_EQ(refusal(":0400100001020304E2\n:0400100001020304E3\n:00000001FF\n"),
              "line 2: record checksum is wrong (the file is damaged)");
    EXPECT_EQ(refusal("hello\n"), "line 1: not an Intel HEX record");
    EXPECT_EQ(refusal(":020010000001ED0\n:00000001FF\n"), "line 1: not an Intel HEX record");
    EXPECT_EQ(refusal(":0200100000G1ED\n:00000001FF\n"), "line 1: not an Intel HEX record");
    EXPECT_PRED2(has, refusal(":0400100001020304E2\n"), "without its end record"); // cut short
    EXPECT_PRED2(has, refusal("\xEF\xBB\xBF"), "without its end record"); // a mark, nothing more
    EXPECT_PRED2(has, refusal(":0500100001020304E2\n:00000001FF\n"), "line 1: ");
    EXPECT_PRED2(has, refusal(":00000001FF\n"), "no data");
    EXPECT_EQ(refusal(":0400100001020304E2\n:0100120002EB\n:00000001FF\n"),
              "line 2: data at 0x00012 was given by an earlier record (records overlap)");
    EXPECT_EQ(refusal(":020010000001ED\n:00000001FF\n\n:0100000033CC\n:00000001FF\n"),
              "line 4: a record after the end record (two files pasted together?)");
    EXPECT_EQ(refusal(":020000023DF0CF\n:0101000022DC\n:00000001FF\n"),
              "line 2: data at 0x3E000 reaches the bootloader's section (the image may hold at "
              "most 253952 bytes)");
}

// A scripted STK500v2 bootloader on the master side of a pseudo-terminal, flashed to.
struct Bootloader {
    int master = -1, slave = -1;
    char name[64];
    uint8_t sig[3] = {0x1E, 0x98, 0x01};
    speed_t answers_at = B115200; // answers only while the port is set to this rate
    int stop_after_writes = -1;   // after this many page writes: silent, or refusing (status)
    uint8_t status = 0, top_address_byte = 0;
    int corrupt_read = -1; // flips a byte in the read-back of this page
    int writes = 0, leaves = 0, bytes_in = 0, held = -1; // held: the port opened here first
    // An old bootloader takes only number 1 or the one after the last; commands lost on the way
    // (the first ones), or their answers (the one numbered lose_answer in arrival order); the
    // first answer to a signature read damaged (1: its checksum, 2: its sequence number), with
    // a wrong signature in it.
    bool old_numbers = false;
    int drop = 0, lose_answer = -1, late_answer = -1, damage = 0, commands = 0;
    uint8_t next_seq = 0;
    uint32_t address = 0;
    uint8_t mem[FLASH_APP_MAX];
    bool stop = false;
    std::thread thread;

    std::string said;

    Bootloader() {
        memset(mem, 0xFF, sizeof mem);
        openpty(&master, &slave, name, nullptr, nullptr);
        // The scripted bootloader has no firmware to answer a hello.
        flash_reply_ms = 300, flash_signon_ms = 600, flash_hello_ms = 100;
        // Three pages, each unlike the others (a page written or read at another's place shows):
        // the image's last page is partly erased.
        memset(img.bytes, 0xFF, sizeof img.bytes);
        for (int i = 0; i < 600; i++)
            img.bytes[i] = (uint8_t)(i * 7 + 3 + i / 256);
        img.size = 600;
    }
    ~Bootloader() {
        stop = true;
        if (thread.joinable())
            thread.join();
        serial_port_close(held);
        close(slave), close(master);
        flash_tty = 0;
    }
    // Answers one command body b: its status only, unless it asks for data.
    void answer(uint8_t seq, const uint8_t *b) {
        uint8_t out[300] = {b[0], 0};
        int n = 2;
        struct termios t;
        tcgetattr(master, &t);
        if (cfgetospeed(&t) != answers_at || (writes == stop_after_writes && !(out[1] = status)))
            return;
        if (drop > 0 || (old_numbers && seq != 1 && seq != next_seq))
            return (void)drop--;
        next_seq = (uint8_t)(seq + 1);
        if (b[0] == 0x1B) // signature byte
            n = 4, out[2] = sig[b[4]];
        else if (b[0] == 0x06) // load address, in words
            top_address_byte = b[1],
            address = ((uint32_t)(b[1] & 0x7F) << 24 | b[2] << 16 | b[3] << 8 | b[4]) * 2;
        else if (b[0] == 0x13) // program a page; the address moves on past it, as it does
            memcpy(mem + address, b + 10, b[1] << 8 | b[2]), writes++, address += b[1] << 8 | b[2];
        else if (b[0] == 0x14) // read it back, with a byte flipped in the page chosen
            n = (b[1] << 8 | b[2]) + 3, memcpy(out + 2, mem + address, n - 3),
            out[2 + 17] ^= (int)address / FLASH_PAGE == corrupt_read ? 0x40 : 0, address += n - 3;
        leaves += b[0] == 0x11;
        bool damaged = damage && b[0] == 0x1B && b[4] == 1;
        out[2] ^= damaged ? 0x0C : 0; // 98 becomes 94: another chip's
        uint8_t f[300] = {0x1B, (uint8_t)(seq + (damage == 2 && damaged)), (uint8_t)(n >> 8),
                          (uint8_t)n, 0x0E},
                sum = 0;
        memcpy(f + 5, out, n);
        for (int i = 0; i < n + 5; i++)
            sum ^= f[i];
        f[n + 5] = sum ^ (damage == 1 && damaged);
        damage = damaged ? 0 : damage;
        if (commands == late_answer)
            usleep(flash_reply_ms * 1000 * 4 / 3); // after the flasher sent the command again
        if (commands++ != lose_answer) {           // in two pieces, as a USB link may hand it over
            ASSERT_EQ(write(master, f, 3), 3);
            usleep(300);
            ASSERT_EQ(write(master, f + 3, n + 3), n + 3);
        }
    }
    void serve() {
        uint8_t buf[400];
        int have = 0, got;
        while (!stop) {
            struct pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || (got = read(master, buf + have, sizeof buf - have)) <= 0)
                continue;
            have += got, bytes_in += got;
            for (int len; have >= 6 && have >= (len = buf[2] << 8 | buf[3]) + 6;) {
                uint8_t sum = 0; // a wrong checksum or start byte: ignored, as by the chip
                for (int i = 0; i < len + 6; i++)
                    sum ^= buf[i];
                if (sum == 0 && buf[0] == 0x1B)
                    answer(buf[1], buf + 5);
                memmove(buf, buf + len + 6, have - len - 6), have -= len + 6;
            }
        }
    }
    int run() {
        thread = std::thread([this] { serve(); });
        testing::internal::CaptureStdout();
        int r = flash_board(name, &img);
        said = testing::internal::GetCapturedStdout();
        return r;
    }
};
struct Flash : ::testing::Test, Bootloader {};

// An answer lost (to a signature read, a page write, a page read) costs a resend, not the flash;
// a damaged answer is never taken (the chip it names would be refused). A bootloader built before
// 2011's end that missed the first sign-on (lost -1), flashed after another board, takes it again
// with the same number: 1, counted afresh from the reset. A page write's answer coming late (-6) is
// not taken for the answer to the address sent again. An older clone (0) answers at 57600 baud
// only; pages beyond 128 KiB reach their place (their whole address, the extended address bit
// set). On a terminal, progress as one bar redrawn; the scripted bootloader has no firmware to
// answer. A pseudo-terminal has no DTR line to reset the board with: the user is told so. The
// closing line gives the time the flash took.
TEST_F(Flash, LostAnswersAreSentForAgainAndDamagedOnesAreNotTaken) {
    flash_reply_ms = 600, flash_signon_ms = 2000; // room for a loaded machine's slow answers
    flash_tty = 1;
    uint32_t began = 0;
    for (int lost : {2, -1, 7, 13, -6, 0}) { // counted in answers, the damaged one's resend too
        lose_answer = lost, late_answer = lost < -1 ? -lost : -1, damage = lost == 7 ? 2 : lost > 0;
        commands = writes = next_seq = 0;
        old_numbers = lost == -1, drop = lost == -1;
        answers_at = lost ? B115200 : B57600;
        img.size = lost ? 600 : 0x20106;
        img.bytes[0x20105] = lost ? 0xFF : 0x42;
        memset(mem, 0xFF, sizeof mem);
        SCOPED_TRACE(lost);
        began = GetTickCount();
        ASSERT_EQ(run(), FLASH_OK) << flash_error;
        stop = true, thread.join(), stop = false; // a bootloader afresh for the next
        EXPECT_EQ(memcmp(mem, img.bytes, sizeof mem), 0);
        EXPECT_PRED2(has, said, lost ? "answered at 115200 baud" : "answered at 57600 baud");
    }
    double took = (GetTickCount() - began) / 1000.0 - 0.1; // with the hello after
    EXPECT_NEAR(std::stod(said.substr(said.find(" pages in ") + 10)), took, 0.2) << said;
    EXPECT_EQ((Longs{writes, top_address_byte}), (Longs{0x202, 0x80}));
    EXPECT_PRED2(has, said, "\rwriting    [..............................]    0/514 pages\r");
    EXPECT_PRED2(has, said, "\rwriting    [#############################.]  500/514 pages\r");
    EXPECT_PRED2(has, said, "\rverifying  [##############################]  514/514 pages\n");
    EXPECT_PRED2(has, said, "(the port cannot pulse DTR: if nothing answers, press the Mega's");
    EXPECT_PRED2(has, said, "the board does not answer Valdora's hello");
}

// Each fault ends the flash with its status, said plainly, the port let go and the board handed
// back to its firmware wherever its bootloader still answers; nothing at all is sent for an image
// that would start the bootloader's monitor, or to a port this program holds already.
TEST_F(Flash, EveryFaultIsNamedAndLetsThePortGo) {
    const struct {
        void (*set)(Bootloader &);
        int code, writes, leaves, bytes_in; // bytes that reached the board (-1: not counted)
        std::string says;
    } faults[] = {
        {[](Bootloader &b) { memcpy(b.sig, "\x1E\x95\x0F", 3); }, FLASH_FAILED, 0, 1, -1,
         "this is an ATmega328P (Uno/Nano), not a Mega 2560"},
        {[](Bootloader &b) { b.stop_after_writes = 2; }, FLASH_FAILED, 2, 0, -1,
         "writing page 3 of 3 (address 0x00200) failed: no answer from the bootloader"},
        {[](Bootloader &b) { b.stop_after_writes = 1, b.status = 0xC0; }, FLASH_FAILED, 1, 1, -1,
         "page 2 of 3 (address 0x00100) failed: the bootloader refused command 0x06 (status 0xC0)"},
        {[](Bootloader &b) { b.corrupt_read = 1; }, FLASH_FAILED, 3, 1, -1,
         "verify failed at page 2 of 3: the board holds 0x3B at 0x00111 where the file has 0x7B"},
        {[](Bootloader &b) { b.answers_at = B9600; }, FLASH_NO_BOOTLOADER, 0, 0, -1,
         " at 115200 or 57600 baud: press the Mega's reset button as the flash starts"},
        {[](Bootloader &) { memcpy(img.bytes + 597, "!!!", 3); }, FLASH_FAILED, 0, 0, 0,
         "the image holds the bytes \"!!!\" at 0x00255, which drop the Mega's bootloader"},
        {[](Bootloader &b) { b.held = serial_port_open(b.name); }, FLASH_FAILED, 0, 0, 0,
         " is in use by another program (Valdora, a terminal, a printer host): close it first"},
    };
    for (auto &f : faults) {
        Bootloader b;
        f.set(b);
        long files = open_files();
        EXPECT_EQ(b.run(), f.code);
        usleep(50000);
        EXPECT_EQ((Longs{open_files(), b.writes, b.leaves, f.bytes_in ? -1 : b.bytes_in}),
                  (Longs{files, f.writes, f.leaves, f.bytes_in}))
            << f.says;
        EXPECT_PRED2(has, flash_error, f.says);
    }
}
