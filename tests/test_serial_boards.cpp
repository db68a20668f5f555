// The serial cockpit board driver behind the K8055 operations, against a pseudo-terminal that
// plays the board: the wire format, reads from the latest snapshot (bad bytes dropped, no
// spinning on a held button), outputs at once and repeated, an unplug and replug.
#include "platform/platform.h"
#include "boards/serial.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;
// The driver's greeting, its CRC-8 (polynomial 07) worked out by hand: it pins the framing. The
// reader's handling of bad frames is tested with the firmware, which shares it.
const Bytes hello{0xA5, 0x01, 0x01, 0x01, 0x79};

int board_fd = -1; // our end of the pseudo-terminal: the board
// The port name the driver opens: a link to the terminal.
const std::string link_path = "/tmp/valdora-serial-" + std::to_string(getpid());
Bytes heard; // every byte the driver sent
int sleeps;  // Sleep calls made by the driver

Bytes frame(uint8_t type, Bytes payload) {
    uint8_t out[64];
    return Bytes(out, out + serial_frame_write(out, type, payload.data(), (uint8_t)payload.size()));
}

void board_send(const Bytes &b) {
    ASSERT_EQ(write(board_fd, b.data(), b.size()), (ssize_t)b.size());
}

// Takes what the driver sent; answers a hello.
void board_listen() {
    uint8_t buf[512];
    ssize_t n;
    while (board_fd >= 0 && (n = read(board_fd, buf, sizeof buf)) > 0) {
        heard.insert(heard.end(), buf, buf + n);
        if (Bytes(buf, buf + n) == hello)
            board_send(frame(SERIAL_HELLO_REPLY, {1, 1}));
    }
}

void on_sleep(DWORD ms) {
    sleeps++;
    board_listen();
    usleep(ms * 1000);
}

void plug() { // a new pseudo-terminal behind the link
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

// Lets the driver take what the board sent (any board operation does), then hears its answer.
void settle() {
    usleep(20000);
    SetCurrentDevice(0);
    ReadAnalogChannel(1);
    usleep(10000);
    board_listen();
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

Bytes snapshot(Bytes digital, uint8_t a) { // sequence 7, every analog input at a but the last
    digital.insert(digital.begin(), 7);
    digital.insert(digital.end(), {a, a, a, a, a, a, a, 255, 0});
    return frame(SERIAL_INPUTS, digital);
}

long read_digital(long board, long channel) {
    SetCurrentDevice(board);
    return ReadDigitalChannel(channel);
}

class SerialBoards : public ::testing::Test {
  protected:
    void SetUp() override {
        plug();
        heard.clear();
        sleeps = 0;
        platform_sleep_hook = on_sleep;
        setenv("VALDORA_BOARDS", ("serial:" + link_path).c_str(), 1);
    }
    void TearDown() override {
        serial_boards_reset();
        platform_sleep_hook = NULL;
        unplug();
        unlink(link_path.c_str());
        unsetenv("VALDORA_BOARDS");
    }
    static void open_all() { // as discovery does
        ASSERT_EQ(SearchDevices(), 15);
        for (long b = 0; b < 4; b++)
            OpenDevice(b);
    }
};

TEST_F(SerialBoards, ReadsComeFromTheLatestGoodSnapshot) {
    close(0); // a program started without standard input gets its port as descriptor 0
    open_all();
    board_send(snapshot({0x01, 0x04, 0x00, 0x10}, 30));
    settle();
    const long digital[][3] = {{0, 1, 1}, {0, 2, 0}, {1, 3, 1}, {1, 1, 0}, {2, 1, 0}, {3, 5, 1}};
    for (auto &d : digital)
        EXPECT_EQ(read_digital(d[0], d[1]), d[2]) << d[0] << "/" << d[1];
    EXPECT_EQ(ReadAnalogChannel(1), 30);
    EXPECT_EQ(ReadAnalogChannel(2), 255);
    // Noise and a snapshot with a bad CRC are dropped and counted; the last good one stands.
    unsigned dropped = serial_boards_dropped;
    Bytes bad = snapshot({0, 0, 0, 0}, 0);
    bad.back() ^= 0xFF;
    board_send({0x13, 0xA5, 0x82, 0x03});
    board_send(bad);
    settle();
    EXPECT_EQ(serial_boards_dropped - dropped, 2u);
    EXPECT_EQ(read_digital(3, 5), 1);
    // Reading the same input again before a new snapshot (a wait for a button's release)
    // pauses instead of spinning; a polling pass, reading each input once, never pauses.
    sleeps = 0;
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(read_digital(3, 5), 1);
    EXPECT_GE(sleeps, 9);
    sleeps = 0;
    for (long ch = 1; ch <= 5; ch++)
        ReadDigitalChannel(ch);
    EXPECT_EQ(sleeps, 0);
}

TEST_F(SerialBoards, OutputsGoOutAtOnceAreRepeatedAndSentAgainAfterAReplug) {
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
    settle();
    EXPECT_EQ(last_outputs(), Bytes({0x40, 0, 0x01, 0, 75, 0, 0, 0, 0, 255, 255, 9}));
    SetCurrentDevice(3);
    ClearAllAnalog(); // board 3's, no other's
    SetCurrentDevice(2);
    ClearAllDigital(); // its analog outputs stay
    heard.clear();
    usleep(300000);
    settle(); // any driver call repeats the outputs once 250 ms have passed
    EXPECT_EQ(last_outputs(), Bytes({0x40, 0, 0, 0, 75, 0, 0, 0, 0, 255, 0, 0}));
    // Unplugged, the boards read 0; plugged back in, the port is opened again and the outputs
    // re-sent.
    board_send(snapshot({0x1F, 0x1F, 0x1F, 0x1F}, 9));
    settle();
    EXPECT_EQ(read_digital(1, 2), 1);
    unplug();
    settle();
    EXPECT_EQ(read_digital(1, 2), 0);
    EXPECT_EQ(ReadAnalogChannel(1), 0);
    plug();
    heard.clear();
    usleep(600000);
    settle(); // the driver opens the port again and re-sends the outputs
    EXPECT_EQ(last_outputs(), Bytes({0x40, 0, 0, 0, 75, 0, 0, 0, 0, 255, 0, 0}));
}

} // namespace
