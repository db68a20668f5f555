// The serial board back-end behind the K8055 operations, against pseudo-terminals that play the
// board: reads from the present snapshot only, silence read as open switches and no axis
// reading, repeats and gaps in the sequence, outputs sent on change and kept alive while the
// program does not call, unplug and replug, and the search: only ports with a known USB
// identity are opened, a restarting board is waited for, an old or missing firmware is named.
#include "platform/platform.h"
#include "boards/serial.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <atomic>
#include <unistd.h>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// A board played on the master side of a pseudo-terminal.
struct fake_board {
    int fd = -1, slave = -1;
    serial_frame_reader reader;
    std::vector<Bytes> heard; // frames from the program: type, then payload
    uint32_t first_hello = 0;
    int answer_after_ms = 0; // a restarting board ignores hellos this long
    int old_protocol = 0;    // answers as a protocol 1 board
    uint8_t seq = 0;
};

fake_board boards[3];
const std::string dir = "/tmp/valdora-serial-" + std::to_string(getpid());

void send_bytes(fake_board &b, const Bytes &w) {
    ASSERT_EQ(write(b.fd, w.data(), w.size()), (ssize_t)w.size());
}

void send_frame(fake_board &b, uint8_t type, const Bytes &p) {
    uint8_t out[SERIAL_FRAME_MAX_WIRE];
    send_bytes(
        b, Bytes(out, out + serial_frame_write(out, type, b.seq++, p.data(), (uint8_t)p.size())));
}

void inputs(fake_board &b, Bytes digital, uint8_t a) { // analog 1..7 at a, the last at 255
    digital.insert(digital.end(), {a, a, a, a, a, a, a, 255, 0});
    send_frame(b, SERIAL_INPUTS, digital);
}

// Takes what the program sent; answers its hellos as the board is set to.
void listen(fake_board &b) {
    uint8_t buf[512];
    ssize_t n;
    while (b.fd >= 0 && (n = read(b.fd, buf, sizeof buf)) > 0)
        for (ssize_t i = 0; i < n; i++) {
            if (serial_frame_feed(&b.reader, buf[i]) != SERIAL_FRAME_READY)
                continue;
            Bytes f{b.reader.type};
            f.insert(f.end(), b.reader.payload, b.reader.payload + b.reader.len);
            b.heard.push_back(f);
            if (b.reader.type != SERIAL_HELLO)
                continue;
            if (!b.first_hello)
                b.first_hello = GetTickCount();
            if (b.old_protocol) // A5, type, length, payload, CRC-8 (polynomial 07) by hand
                send_bytes(b, {0xA5, 0x82, 0x0E, 1, 0, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9, 0, 0xD8});
            else if (GetTickCount() - b.first_hello >= (uint32_t)b.answer_after_ms)
                send_frame(b, SERIAL_HELLO_REPLY, {2, 1, 0, 2, 0xDE, 0xAD, 0xBE, 0xEF});
        }
}

void on_sleep(DWORD ms) {
    for (auto &b : boards)
        listen(b);
    usleep(ms * 1000);
}

// A new pseudo-terminal for board i behind the name dir/name; the slave end stays open here
// so that its settings can be looked at.
void plug(int i, const char *name = "link") {
    fake_board &b = boards[i];
    char tty[128];
    ASSERT_EQ(openpty(&b.fd, &b.slave, tty, NULL, NULL), 0);
    fcntl(b.fd, F_SETFL, O_NONBLOCK);
    serial_frame_reset(&b.reader);
    std::string path = dir + "/" + name;
    unlink(path.c_str());
    ASSERT_EQ(symlink(tty, path.c_str()), 0);
}

void unplug(int i) {
    close(boards[i].fd);
    close(boards[i].slave);
    boards[i] = fake_board();
}

// The payload of the newest frame of a type heard by a board.
Bytes last_heard(const fake_board &b, uint8_t type) {
    for (auto f = b.heard.rbegin(); f != b.heard.rend(); ++f)
        if ((*f)[0] == type)
            return Bytes(f->begin() + 1, f->end());
    return Bytes();
}

int count_heard(const fake_board &b, uint8_t type) {
    int n = 0;
    for (auto &f : b.heard)
        n += f[0] == type;
    return n;
}

long read_digital(long board, long channel) {
    SetCurrentDevice(board);
    return ReadDigitalChannel(channel);
}

class SerialBoards : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(dir.c_str(), 0700);
        platform_sleep_hook = on_sleep;
        setenv("VALDORA_BOARDS", ("serial:" + dir + "/link").c_str(), 1);
    }
    void TearDown() override {
        serial_boards_reset();
        platform_sleep_hook = NULL;
        for (int i = 0; i < 3; i++)
            unplug(i);
        unsetenv("VALDORA_BOARDS");
        serial_port_sysfs_root = "/sys";
        serial_port_dev_root = "/dev";
        system(("rm -rf " + dir).c_str());
    }
    static void open_all() { // as discovery does
        ASSERT_EQ(SearchDevices(), 15);
        for (long b = 0; b < 4; b++)
            OpenDevice(b);
    }
};

// Streams board 0's snapshot every 5 ms, as the firmware does, while on.
struct streamer {
    std::atomic<int> on{0}, analog{0};
    Bytes digital{0, 0, 0, 0};
    std::thread t;
    void start(Bytes d, int a) {
        digital = d;
        analog = a;
        on = 1;
        t = std::thread([this] {
            while (on) {
                inputs(boards[0], digital, (uint8_t)analog);
                usleep(5000);
            }
        });
    }
    void stop() {
        on = 0;
        t.join();
    }
};

// Reads analog input 1 of board 0 until it gives want or a second has passed.
long await_analog(long want) {
    long got = 0;
    for (uint32_t start = GetTickCount(); GetTickCount() - start < 1000; usleep(1000)) {
        SetCurrentDevice(0);
        if ((got = ReadAnalogChannel(1)) == want)
            break;
    }
    return got;
}

TEST_F(SerialBoards, ReadsTakeThePresentAndASilentBoardReadsOpenWithNoAxis) {
    plug(0);
    open_all();
    EXPECT_STREQ(serial_boards_info.identity, "deadbeef");
    EXPECT_EQ(serial_boards_info.firmware, 2);
    EXPECT_EQ(serial_boards_info.pin_table, 1);
    streamer board;
    board.start({0x01, 0x04, 0x00, 0x10}, 30);
    ASSERT_EQ(await_analog(30), 30);
    const long digital[][3] = {{0, 1, 1}, {0, 2, 0}, {1, 3, 1}, {1, 1, 0}, {2, 1, 0}, {3, 5, 1}};
    for (auto &d : digital)
        EXPECT_EQ(read_digital(d[0], d[1]), d[2]) << d[0] << "/" << d[1];
    EXPECT_EQ(ReadAnalogChannel(2), 255);
    board.analog = 31; // the lever moves: the next reads have it within a few snapshots
    uint32_t moved = GetTickCount();
    EXPECT_EQ(await_analog(31), 31);
    EXPECT_LT(GetTickCount() - moved, 100u);
    // Silent for longer than a snapshot may be old: switches open, no analog reading, and no
    // wait on every read once it is known.
    board.stop();
    usleep(30000);
    EXPECT_EQ(read_digital(3, 5), 0);
    EXPECT_EQ(ReadAnalogChannel(2), -1);
    uint32_t start = GetTickCount();
    for (int i = 0; i < 20; i++)
        ReadDigitalChannel(5);
    EXPECT_LT(GetTickCount() - start, 20u);
    board.start({0, 0, 0, 0x10}, 32); // it answers again
    EXPECT_EQ(await_analog(32), 32);
    EXPECT_EQ(read_digital(3, 5), 1);
    board.stop();
    // A repeated sequence number is dropped, a gap counted, noise counted as dropped.
    unsigned dropped = serial_boards_dropped, gaps = serial_boards_gaps;
    boards[0].seq--;
    inputs(boards[0], {0, 0, 0, 0}, 99); // a repeat
    boards[0].seq += 2;
    send_bytes(boards[0], {0x13, 0xA5, 0x40, 0x00});
    inputs(boards[0], {0, 0, 0, 0x10}, 33); // two frames missed before it
    EXPECT_EQ(await_analog(33), 33);
    EXPECT_EQ(serial_boards_repeats, 1u);
    EXPECT_EQ(serial_boards_gaps - gaps, 2u);
    EXPECT_EQ(serial_boards_dropped - dropped, 1u);
    char line[256];
    serial_boards_describe(line, sizeof line);
    EXPECT_NE(std::string(line).find("firmware 2, identity deadbeef; frames dropped"),
              std::string::npos)
        << line;
}

TEST_F(SerialBoards, OutputsGoOutOnChangeStayAliveWhileTheProgramWaitsAndComeBackAfterAReplug) {
    plug(0);
    open_all();
    SetCurrentDevice(0);
    SetDigitalChannel(7);
    OutputAnalogChannel(1, 75);
    SetCurrentDevice(2);
    SetDigitalChannel(1);
    SetAnalogChannel(2);
    SetCurrentDevice(3);
    OutputAnalogChannel(1, 300); // beyond the scale: fully on
    OutputAnalogChannel(2, 9);
    SetCurrentDevice(3);
    ClearAllAnalog(); // board 3's, no other's
    SetCurrentDevice(2);
    ClearAllDigital(); // its analog outputs stay
    usleep(50000);
    listen(boards[0]);
    const Bytes lamps{0x40, 0, 0, 0, 75, 0, 0, 0, 0, 255, 0, 0};
    EXPECT_EQ(last_heard(boards[0], SERIAL_OUTPUTS), lamps);
    // The program calls nothing for a second (a wait for the simulator): the outputs are
    // repeated at least every 250 ms all the same.
    boards[0].heard.clear();
    usleep(1000000);
    listen(boards[0]);
    EXPECT_GE(count_heard(boards[0], SERIAL_OUTPUTS), 4);
    EXPECT_EQ(last_heard(boards[0], SERIAL_OUTPUTS), lamps);
    // Unplugged: switches open, no axis; plugged back in: greeted and given its lamps again.
    inputs(boards[0], {0x1F, 0x1F, 0x1F, 0x1F}, 9);
    usleep(10000);
    EXPECT_EQ(read_digital(1, 2), 1);
    unplug(0);
    usleep(30000);
    EXPECT_EQ(read_digital(1, 2), 0);
    EXPECT_EQ(ReadAnalogChannel(1), -1);
    plug(0);
    usleep(800000);
    listen(boards[0]);
    EXPECT_EQ(count_heard(boards[0], SERIAL_HELLO), 1);
    EXPECT_EQ(last_heard(boards[0], SERIAL_OUTPUTS), lamps);
    inputs(boards[0], {0, 0x02, 0, 0}, 9);
    usleep(10000);
    EXPECT_EQ(read_digital(1, 2), 1);
    // Another program asking for the port is refused while this one holds it.
    serial_board_info info;
    EXPECT_EQ(serial_board_identify((dir + "/link").c_str(), &info, 100), -2);
    // Closed at shutdown: the cleared outputs go out once more.
    for (long b = 0; b < 4; b++) {
        SetCurrentDevice(b);
        ClearAllDigital();
        ClearAllAnalog();
        CloseDevice();
    }
    listen(boards[0]);
    EXPECT_EQ(last_heard(boards[0], SERIAL_OUTPUTS), Bytes(12, 0));
}

// Writes a file with one line of text.
void put(const std::string &path, const char *text) {
    system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str());
    FILE *f = fopen(path.c_str(), "w");
    fputs(text, f);
    fclose(f);
}

// A tty in the fake sysfs whose device folder sits below a USB device of that identity (or
// none, vendor NULL).
void fake_tty(const char *tty, const char *device, const char *vendor, const char *product) {
    std::string sys = dir + "/sys", dev = sys + "/devices/" + device;
    system(("mkdir -p '" + dev + "' '" + sys + "/class/tty/" + tty + "'").c_str());
    if (vendor) {
        std::string usb = dev.substr(0, dev.rfind('/'));
        if (strchr(tty, 'U')) // ttyUSB: the port folder, below the interface
            usb = usb.substr(0, usb.rfind('/'));
        put(usb + "/idVendor", vendor);
        put(usb + "/idProduct", product);
    }
    symlink(dev.c_str(), (sys + "/class/tty/" + tty + "/device").c_str());
}

TEST_F(SerialBoards, OnlyPortsOfKnownUsbIdentityAreOpenedAndARestartingBoardIsWaitedFor) {
    unsetenv("VALDORA_BOARDS");
    fake_tty("ttyACM0", "usb1/1-1/1-1:1.0", "2341\n", "0042\n");         // a Mega, silent
    fake_tty("ttyUSB0", "usb2/2-1/2-1:1.0/ttyUSB0", "1a86\n", "7523\n"); // CH340, restarting
    fake_tty("ttyUSB1", "usb2/2-2/2-2:1.0/ttyUSB1", "067b\n", "2303\n"); // unknown chip
    fake_tty("ttyS0", "platform/serial8250/tty/ttyS0", NULL, NULL);
    fake_tty("ttyACM1", "usb1/1-3/1-3:1.0", "2341\n", "0043\n"); // an Uno
    mkdir((dir + "/dev").c_str(), 0700);
    static std::string sys = dir + "/sys", dev = dir + "/dev";
    serial_port_sysfs_root = sys.c_str();
    serial_port_dev_root = dev.c_str();
    char names[8][64];
    ASSERT_EQ(serial_port_candidates(names, 8), 2);
    EXPECT_EQ(names[0], dev + "/ttyACM0");
    EXPECT_EQ(names[1], dev + "/ttyUSB0");

    plug(0, "dev/ttyACM0");
    plug(1, "dev/ttyUSB0");
    plug(2, "dev/ttyUSB1");
    struct termios before;
    tcgetattr(boards[0].slave, &before);
    cfsetospeed(&before, B4800); // a GPS' settings, say
    tcsetattr(boards[0].slave, TCSANOW, &before);
    boards[0].answer_after_ms = 100000;
    boards[1].answer_after_ms = 2000;
    long mask = 0;
    EXPECT_EQ(serial_boards_search(&mask), 1);
    EXPECT_EQ(mask, 15);
    EXPECT_STREQ(serial_boards_port, (dev + "/ttyUSB0").c_str());
    EXPECT_GE(count_heard(boards[1], SERIAL_HELLO), 7); // one every 300 ms for 2 s
    EXPECT_EQ(count_heard(boards[2], SERIAL_HELLO), 0);
    // The silent Mega was asked, then given back its own settings.
    EXPECT_GE(count_heard(boards[0], SERIAL_HELLO), 9);
    struct termios after;
    tcgetattr(boards[0].slave, &after);
    EXPECT_EQ(cfgetospeed(&after), (speed_t)B4800);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST_F(SerialBoards, AnOldOrMissingFirmwareIsNamedAndNotUsed) {
    plug(0);
    boards[0].old_protocol = 1;
    long mask = 1;
    EXPECT_EQ(serial_boards_search(&mask), 1);
    EXPECT_EQ(mask, 0);
    EXPECT_STREQ(serial_boards_note,
                 "board firmware too old, flash valdora-mega.hex: flash the board with "
                 "valdora-flash");
    serial_board_info info;
    EXPECT_EQ(serial_board_identify((dir + "/link").c_str(), &info, 1000), 0);
    EXPECT_EQ(info.protocol, 1);
    boards[0].old_protocol = 0;
    boards[0].answer_after_ms = 100000;
    EXPECT_EQ(serial_board_identify((dir + "/link").c_str(), &info, 700), -1);
    EXPECT_EQ(serial_boards_search(&mask), 1);
    EXPECT_EQ(mask, 0);
    EXPECT_EQ(std::string(serial_boards_note),
              "no Valdora firmware on " + dir + "/link: flash the board with valdora-flash");
    EXPECT_EQ(serial_board_identify((dir + "/none").c_str(), &info, 100), -1);
}

} // namespace
