// The board firmware in the simulated ATmega2560: every input to its snapshot, debouncing,
// ADC scaling, output frames to pins and PWM, dropped frames, the dark start and safe state, and
// the hello reply with an identity that survives a power cycle.
#include "firmware/host/mega_sim.h"
#include "boards/serial_frame.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;
std::vector<Bytes> snapshots; // payloads of good input frames from the chip
std::vector<Bytes> replies;   // payloads of hello replies
std::vector<int> sequence;    // sequence numbers of every good frame
serial_frame_reader reader;

void collect(uint8_t b) {
    if (serial_frame_feed(&reader, b) != SERIAL_FRAME_READY)
        return;
    sequence.push_back(reader.seq);
    if (reader.type == SERIAL_INPUTS && reader.len == SERIAL_INPUTS_LEN)
        snapshots.emplace_back(reader.payload, reader.payload + reader.len);
    if (reader.type == SERIAL_HELLO_REPLY && reader.len == SERIAL_HELLO_REPLY_LEN)
        replies.emplace_back(reader.payload, reader.payload + reader.len);
}

class MegaFirmware : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(mega_sim_load(VALDORA_FIRMWARE_ELF), 0);
        mega_sim_on_byte = collect, mega_sim_run_ms(20);
    }
    // Sends a frame as the host would, with flip XORed over its CRC.
    static void send(uint8_t type, Bytes payload, uint8_t flip = 0) {
        uint8_t out[64];
        size_t n = serial_frame_write(out, type, 9, payload.data(), (uint8_t)payload.size());
        out[n - 2] ^= flip; // the last byte before the delimiter: the CRC's low byte
        mega_sim_send(out, n);
    }
    static void outputs(Bytes digital, Bytes analog) {
        digital.insert(digital.end(), analog.begin(), analog.end());
        send(SERIAL_OUTPUTS, digital), mega_sim_run_ms(5);
    }
    // Payload of the newest input snapshot after running ms milliseconds.
    static Bytes snapshot_after(double ms) {
        snapshots.clear(), mega_sim_run_ms(ms);
        EXPECT_FALSE(snapshots.empty()) << "no snapshot in " << ms << " ms";
        return snapshots.empty() ? Bytes(SERIAL_INPUTS_LEN) : snapshots.back();
    }
    static Bytes hello_reply() {
        replies.clear(), send(SERIAL_HELLO, {2}), mega_sim_run_ms(10);
        EXPECT_EQ(replies.size(), 1u);
        return replies.empty() ? Bytes(SERIAL_HELLO_REPLY_LEN) : replies.back();
    }
    static std::vector<int> pwm() { // the four wired PWM outputs
        return {mega_sim_pwm(0, 1), mega_sim_pwm(2, 1), mega_sim_pwm(2, 2), mega_sim_pwm(3, 1)};
    }
    static std::vector<int> lit_outputs() {
        std::vector<int> lit;
        for (int i = 0; i < 32; i++)
            if (mega_sim_output(i / 8, i % 8 + 1))
                lit.push_back(i);
        return lit;
    }
};

// Each snapshot carries the digital inputs, then the analog readings: millivolts * 1024 / 5000,
// brought from 10 bits to 8 (5000 mV clips at the top), every channel its own value so that a
// mixed-up channel shows.
TEST_F(MegaFirmware, EveryInputReachesItsSnapshotBitOnlyAfterHolding5ms) {
    const int mv[8] = {4500, 20, 1000, 2510, 3000, 0, 5000, 4000};
    for (int i = 0; i < 8; i++)
        mega_sim_set_millivolts(i / 2, i % 2 + 1, mv[i]);
    for (int board = 0; board < 4; board++)
        for (int ch = 1; ch <= 5; ch++) {
            SCOPED_TRACE(testing::Message() << "board " << board << " input " << ch);
            snapshots.clear();
            mega_sim_set_input(board, ch, 1), mega_sim_run_ms(4); // bounce: closed for 4 ms only
            mega_sim_set_input(board, ch, 0), mega_sim_run_ms(10);
            for (auto &s : snapshots)
                EXPECT_EQ(s[board], 0);
            mega_sim_set_input(board, ch, 1);
            Bytes s = snapshot_after(12);
            Bytes want{0, 0, 0, 0, 230, 1, 51, 128, 153, 0, 255, 204};
            want[board] = (uint8_t)(1 << (ch - 1));
            EXPECT_EQ(Bytes(s.begin(), s.begin() + 12), want);
            mega_sim_set_input(board, ch, 0);
            EXPECT_EQ(snapshot_after(12)[board], 0);
        }
}

TEST_F(MegaFirmware, OutputFramesDriveEveryPinAndPwmLevel) {
    for (int i = 0; i < 32; i++) {
        Bytes digital(4, 0);
        digital[i / 8] = (uint8_t)(1 << (i % 8));
        outputs(digital, Bytes(8, 0));
        EXPECT_EQ(lit_outputs(), std::vector<int>{i});
    }
    outputs({0, 0, 0, 0}, Bytes(8, 0));
}

TEST_F(MegaFirmware, BadFramesAreNeverActedOnAndTwoSecondsOfSilenceTurnEveryOutputOff) {
    EXPECT_EQ(lit_outputs(), std::vector<int>{}); // it powers up dark
    EXPECT_EQ(pwm(), std::vector<int>(4, 0));
    uint8_t before = snapshot_after(6)[12];
    send(SERIAL_OUTPUTS, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, 0x01); // a CRC bit wrong
    mega_sim_run_ms(5);
    send(SERIAL_OUTPUTS, Bytes(SERIAL_OUTPUTS_LEN - 1, 0xFF)); // one byte short
    send(SERIAL_HELLO, {1, 2, 3});                             // too long
    uint8_t noise[] = {0x13, 0xA5, 0xA5, 0x40, 0x00, 0x00};    // no frame
    mega_sim_send(noise, sizeof noise);
    EXPECT_EQ(lit_outputs(), std::vector<int>{});
    EXPECT_EQ((uint8_t)(snapshot_after(10)[12] - before), 4); // each counted
    // The stream has resynchronised: a good frame right after is acted on, and held while the
    // host repeats it; then every one of the 32 lamps and 4 PWM outputs goes off. The four wired
    // PWM outputs: board 0 out 1, board 2 outs 1 and 2, board 3 out 1 (board 0 out 2 is not).
    const Bytes all{0xFF, 0xFF, 0xFF, 0xFF}, levels{200, 9, 0, 0, 255, 128, 1, 0};
    outputs(all, levels);
    std::vector<int> every(32);
    std::iota(every.begin(), every.end(), 0);
    EXPECT_EQ(lit_outputs(), every);
    mega_sim_run_ms(1000), outputs(all, levels); // a repeat
    mega_sim_run_ms(1900);
    EXPECT_EQ(lit_outputs(), every);
    EXPECT_EQ(pwm(), (std::vector<int>{200, 255, 128, 1}));
    mega_sim_run_ms(200);
    EXPECT_EQ(lit_outputs(), std::vector<int>{});
    EXPECT_EQ(pwm(), (std::vector<int>{0, 0, 0, 0}));
}

// The hello reply: protocol 2, pin table 1, firmware 2 and an identity made once and kept in
// EEPROM, so that a power cycle (the chip reset, its EEPROM kept, a lever moved) gives the same
// one. Every frame the board sends carries the next sequence number.
TEST_F(MegaFirmware, HelloReplyCarriesVersionsAndAnIdentityThatSurvivesAPowerCycle) {
    Bytes first = hello_reply();
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 4), (Bytes{2, 1, 0, 2}));
    Bytes id(first.begin() + 4, first.end());
    EXPECT_NE(id, Bytes(4, 0xFF)); // not blank memory
    for (size_t i = 1; i < sequence.size(); i++)
        ASSERT_EQ((uint8_t)(sequence[i - 1] + 1), sequence[i]) << "frame " << i;
    mega_sim_set_millivolts(0, 1, 1234); // a seed unlike the first, should it make one anew
    mega_sim_reset(), mega_sim_run_ms(20);
    EXPECT_EQ(hello_reply(), first);
}

} // namespace
