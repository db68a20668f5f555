// The serial cockpit board driver behind the K8055 operations, against a pseudo-terminal that
// plays the board: frames on the wire, the choice of boards, reads from the latest snapshot,
// outputs at once and repeated, bad bytes, an unplug and replug, and no spinning on a held
// button.
#include "platform/platform.h"
#include "platform/serial_boards.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

int board_fd = -1;        // our end of the pseudo-terminal: the board
std::string link_path;    // the port name the driver opens
Bytes heard;              // every byte the driver sent
int sleeps;               // Sleep calls made by the driver
bool answer_hello = true; // the board answers a hello

Bytes frame(uint8_t type, Bytes payload) {
    uint8_t out[64];
    size_t n = serial_frame_write(out, type, payload.data(), (uint8_t)payload.size());
    return Bytes(out, out + n);
}

void board_send(const Bytes &b) {
    ASSERT_EQ(write(board_fd, b.data(), b.size()), (ssize_t)b.size());
}

// Takes what the driver sent; answers hellos when the board is meant to.
void board_listen() {
    uint8_t buf[512];
    ssize_t n;
    while (board_fd >= 0 && (n = read(board_fd, buf, sizeof buf)) > 0) {
        heard.insert(heard.end(), buf, buf + n);
        if (answer_hello && Bytes(buf, buf + n) == Bytes({0xA5, 0x01, 0x01, 0x01, 0x79}))
            board_send(frame(SERIAL_HELLO_REPLY, {1, 1}));
    }
}

void on_sleep(DWORD ms) {
    sleeps++;
    board_listen();
    usleep(ms * 1000);
}

// Plugs the board in: a new pseudo-terminal behind the link.
void plug() {
    int slave;
    char name[128];
    ASSERT_EQ(openpty(&board_fd, &slave, name, NULL, NULL), 0);
    close(slave);
    fcntl(board_fd, F_SETFL, O_NONBLOCK);
    unlink(link_path.c_str());
    ASSERT_EQ(symlink(name, link_path.c_str()), 0);
}

void unplug() {
    close(board_fd);
    board_fd = -1;
}

// The newest outputs frame the driver sent: digital[4] then analog[8].
Bytes last_outputs() {
    serial_frame_reader r;
    serial_frame_reset(&r);
    Bytes last;
    for (uint8_t b : heard)
        if (serial_frame_feed(&r, b) == SERIAL_FRAME_READY && r.type == SERIAL_OUTPUTS)
            last.assign(r.payload, r.payload + r.len);
    return last;
}

Bytes snapshot(Bytes digital, Bytes analog) {
    Bytes p{7};
    p.insert(p.end(), digital.begin(), digital.end());
    p.insert(p.end(), analog.begin(), analog.end());
    p.push_back(0);
    return frame(SERIAL_INPUTS, p);
}

class SerialBoards : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/valdora-serial-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        link_path = std::string(dir) + "/mega";
        plug();
        heard.clear();
        sleeps = 0;
        answer_hello = true;
        platform_sleep_hook = on_sleep;
        setenv("VALDORA_BOARDS", ("serial:" + link_path).c_str(), 1);
    }
    void TearDown() override {
        serial_boards_reset();
        platform_sleep_hook = NULL;
        unplug();
        unlink(link_path.c_str());
        rmdir(link_path.substr(0, link_path.size() - 5).c_str());
        unsetenv("VALDORA_BOARDS");
    }
    // Search and open all four boards as discovery does.
    static void open_all() {
        ASSERT_EQ(SearchDevices(), 15);
        for (long b = 0; b < 4; b++)
            OpenDevice(b);
    }
    // Lets the driver take what the board sent.
    static void settle() {
        usleep(20000);
        SetCurrentDevice(0);
        ReadAnalogChannel(1);
    }
};

TEST(SerialFrames, CrcAndReaderFollowTheWireFormat) {
    EXPECT_EQ(serial_crc8(0, (const uint8_t *)"123456789", 9), 0xF4);
    EXPECT_EQ(frame(SERIAL_HELLO, {1}), Bytes({0xA5, 0x01, 0x01, 0x01, 0x79}));
    const struct {
        const char *name;
        Bytes wire;
        int frames, dropped;
    } cases[] = {
        {"hello", {0xA5, 0x01, 0x01, 0x01, 0x79}, 1, 0},
        {"bad CRC", {0xA5, 0x01, 0x01, 0x01, 0x78}, 0, 1},
        {"wrong length", {0xA5, 0x01, 0x02, 0x01, 0x01, 0x79}, 0, 1},
        {"unknown type", {0xA5, 0x33, 0x01, 0x01, 0x79}, 0, 1},
        {"noise then hello", {0x00, 0x79, 0xA5, 0xA5, 0x01, 0x01, 0x01, 0x79}, 1, 0},
        {"start byte as length", {0xA5, 0x01, 0xA5, 0x01, 0x01, 0x01, 0x79}, 1, 1},
        {"truncated", {0xA5, 0x82, 0x0E, 1, 2, 3}, 0, 0},
    };
    for (auto &c : cases) {
        serial_frame_reader r;
        serial_frame_reset(&r);
        int frames = 0, dropped = 0;
        for (uint8_t b : c.wire) {
            int got = serial_frame_feed(&r, b);
            frames += got == SERIAL_FRAME_READY;
            dropped += got == SERIAL_FRAME_DROPPED;
        }
        EXPECT_EQ(frames, c.frames) << c.name;
        EXPECT_EQ(dropped, c.dropped) << c.name;
    }
}

TEST_F(SerialBoards, ChoiceOfBoards) {
    setenv("VALDORA_BOARDS", "k8055", 1);
    SearchDevices();
    EXPECT_EQ(serial_boards_active, 0);
    answer_hello = false; // a port with something silent on it: no boards
    setenv("VALDORA_BOARDS", ("serial:" + link_path).c_str(), 1);
    EXPECT_EQ(SearchDevices(), 0);
    EXPECT_EQ(serial_boards_active, 1);
    answer_hello = true;
    EXPECT_EQ(SearchDevices(), 15);
}

TEST_F(SerialBoards, ReadsComeFromTheLatestSnapshot) {
    open_all();
    board_send(snapshot({0x01, 0x04, 0x00, 0x10}, {10, 20, 30, 40, 50, 60, 70, 255}));
    settle();
    const struct {
        long board, channel, digital;
    } digital[] = {{0, 1, 1}, {0, 2, 0}, {1, 3, 1}, {1, 1, 0}, {2, 1, 0}, {3, 5, 1}, {3, 4, 0}};
    for (auto d : digital) {
        SetCurrentDevice(d.board);
        EXPECT_EQ(ReadDigitalChannel(d.channel), d.digital) << d.board << "/" << d.channel;
    }
    SetCurrentDevice(1);
    EXPECT_EQ(ReadAnalogChannel(1), 30);
    SetCurrentDevice(3);
    EXPECT_EQ(ReadAnalogChannel(2), 255);
    // A garbled snapshot is dropped and counted; the last good one stands.
    unsigned dropped = serial_boards_dropped;
    Bytes bad = snapshot({0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0});
    bad.back() ^= 0xFF;
    board_send({0x13, 0xA5, 0x82, 0x03});
    board_send(bad);
    settle();
    EXPECT_EQ(serial_boards_dropped - dropped, 2u);
    SetCurrentDevice(3);
    EXPECT_EQ(ReadDigitalChannel(5), 1);
    EXPECT_EQ(ReadAnalogChannel(2), 255);
}

TEST_F(SerialBoards, OutputsGoOutAtOnceAndAreRepeated) {
    open_all();
    SetCurrentDevice(0);
    SetDigitalChannel(7);
    OutputAnalogChannel(1, 75);
    SetCurrentDevice(2);
    SetDigitalChannel(1);
    SetAnalogChannel(2);
    SetCurrentDevice(3);
    OutputAnalogChannel(1, 300); // beyond the scale: fully on
    usleep(10000);
    board_listen();
    EXPECT_EQ(last_outputs(), Bytes({0x40, 0, 0x01, 0, 75, 0, 0, 0, 0, 255, 255, 0}));
    SetCurrentDevice(2);
    ClearAllDigital();
    ClearAnalogChannel(2);
    usleep(10000);
    board_listen();
    EXPECT_EQ(last_outputs(), Bytes({0x40, 0, 0, 0, 75, 0, 0, 0, 0, 0, 255, 0}));
    heard.clear();
    usleep(300000);
    ReadDigitalChannel(1); // any driver call repeats the outputs once 250 ms have passed
    usleep(10000);
    board_listen();
    EXPECT_EQ(last_outputs(), Bytes({0x40, 0, 0, 0, 75, 0, 0, 0, 0, 0, 255, 0}));
}

TEST_F(SerialBoards, UnpluggedReadsZeroAndReplugGetsTheOutputsAgain) {
    open_all();
    SetCurrentDevice(1);
    SetDigitalChannel(3);
    board_send(snapshot({0x1F, 0x1F, 0x1F, 0x1F}, {9, 9, 9, 9, 9, 9, 9, 9}));
    settle();
    SetCurrentDevice(1);
    EXPECT_EQ(ReadDigitalChannel(2), 1);
    unplug();
    settle();
    SetCurrentDevice(1);
    EXPECT_EQ(ReadDigitalChannel(2), 0);
    EXPECT_EQ(ReadAnalogChannel(1), 0);
    plug();
    heard.clear();
    usleep(600000);
    settle(); // the driver opens the port again ...
    usleep(10000);
    board_listen();
    EXPECT_EQ(last_outputs(), Bytes({0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})); // ... and re-sends
    board_send(snapshot({0, 0x02, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}));
    settle();
    SetCurrentDevice(1);
    EXPECT_EQ(ReadDigitalChannel(2), 1);
}

TEST_F(SerialBoards, ReadingAHeldButtonAgainWaitsForTheNextSnapshot) {
    open_all();
    board_send(snapshot({0x10, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}));
    settle();
    SetCurrentDevice(0);
    sleeps = 0;
    for (int i = 0; i < 10; i++) // a wait for the release, with the board silent
        EXPECT_EQ(ReadDigitalChannel(5), 1);
    EXPECT_GE(sleeps, 9 * 15); // about 20 ms of 1 ms pauses per read after the first
    sleeps = 0;
    for (long ch = 1; ch <= 5; ch++) // a polling pass reads each input once: no pause
        ReadDigitalChannel(ch);
    EXPECT_EQ(sleeps, 0);
}

} // namespace
