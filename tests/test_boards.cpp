// The boards: the switchboard's choice of back-end and its hand-over of every operation, the
// virtual boards' current board and fresh board file, and the wiring table against the
// firmware's pin table and the README's wiring table.
#include "boards/boards.h"
#include "platform/k8055_board_file.h"
#include "platform/platform.h"

extern "C" {
#include "firmware/pins.h"
}

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" volatile uint8_t avr_host_io[128];
volatile uint8_t avr_host_io[128];

namespace {

// ---- A stand-in back-end that writes down what reaches it ----

std::string seen;  // "K open 2 S search ..."
long fake_mask[2]; // what the search of back-end K (0) and S (1) finds
int serial_takes;  // 1 when S takes the boards at its search

template <char T> void note(const char *op, long a = -1, long b = -1) {
    seen += std::string(seen.empty() ? "" : " ") + T + " " + op;
    for (long v : {a, b})
        if (v >= 0)
            seen += " " + std::to_string(v);
}
template <char T> int search(long *mask) {
    note<T>("search");
    *mask = fake_mask[T == 'S'];
    return T == 'K' || serial_takes;
}
template <char T> void reset() {
    note<T>("reset");
}
template <char T> long open_(long a) {
    note<T>("open", a);
    return a + 100;
}
template <char T> long select_(long a) {
    note<T>("select", a);
    return a + 200;
}
template <char T> long read_digital(long c) {
    note<T>("read_digital", c);
    return c + 10;
}
template <char T> long read_analog(long c) {
    note<T>("read_analog", c);
    return c + 20;
}
template <char T> void set_digital(long c) {
    note<T>("set_digital", c);
}
template <char T> void clear_digital(long c) {
    note<T>("clear_digital", c);
}
template <char T> void set_analog(long c) {
    note<T>("set_analog", c);
}
template <char T> void clear_analog(long c) {
    note<T>("clear_analog", c);
}
template <char T> void output_analog(long c, long level) {
    note<T>("output_analog", c, level);
}
template <char T> void clear_all_digital() {
    note<T>("clear_all_digital");
}
template <char T> void clear_all_analog() {
    note<T>("clear_all_analog");
}
template <char T> void close_() {
    note<T>("close");
}
template <char T>
const board_methods fake = {T == 'K' ? "k8055" : "serial",
                            search<T>,
                            T == 'S' ? reset<T> : nullptr,
                            open_<T>,
                            select_<T>,
                            read_digital<T>,
                            read_analog<T>,
                            set_digital<T>,
                            clear_digital<T>,
                            set_analog<T>,
                            clear_analog<T>,
                            output_analog<T>,
                            clear_all_digital<T>,
                            clear_all_analog<T>,
                            close_<T>};

class Switchboard : public ::testing::Test {
  protected:
    const board_methods *saved[2] = {boards_backends[0], boards_backends[1]};
    void SetUp() override {
        boards_backends[0] = &fake<'K'>;
        boards_backends[1] = &fake<'S'>;
        boards_chosen = &fake<'K'>;
    }
    void TearDown() override {
        boards_backends[0] = saved[0], boards_backends[1] = saved[1];
        boards_chosen = saved[0];
        unsetenv("VALDORA_BOARDS");
    }
};

TEST_F(Switchboard, TheSearchChoosesOnceKBoardsBeforeTheSerialBoard) {
    // clang-format off
    const struct { const char *env; long k, s; int takes; long mask; const char *log; } rows[] = {
        {NULL, 5, 15, 1, 5, "K search K open 1"},
        {NULL, 0, 15, 1, 15, "K search S search S open 1"},
        {NULL, 0, 0, 0, 0, "S reset K search S search K open 1"}, // the serial board let go
        {"", 0, 15, 1, 15, "K search S search S open 1"},
        {"k8055", 0, 15, 1, 0, "S reset K search K open 1"},
        {"serial:/dev/ttyACM0", 5, 0, 1, 0, "S search S open 1"},
        {"serial:COM5", 5, 15, 1, 15, "S reset S search S open 1"},
        {"virtual", 6, 15, 1, 6, "S reset K search K open 1"}};
    // clang-format on
    for (auto &r : rows) {
        if (r.env)
            setenv("VALDORA_BOARDS", r.env, 1);
        else
            unsetenv("VALDORA_BOARDS");
        fake_mask[0] = r.k, fake_mask[1] = r.s, serial_takes = r.takes;
        seen.clear();
        EXPECT_EQ(SearchDevices(), r.mask) << (r.env ? r.env : "unset");
        OpenDevice(1);
        EXPECT_EQ(seen, r.log) << (r.env ? r.env : "unset");
    }
}

TEST_F(Switchboard, EveryOperationReachesItsOwnProcedure) {
    unsetenv("VALDORA_BOARDS");
    fake_mask[0] = 0, fake_mask[1] = 15, serial_takes = 1;
    SearchDevices(); // the serial stand-in takes them
    seen.clear();
    long results = OpenDevice(2) * 1000000 + SetCurrentDevice(3) * 1000 + ReadDigitalChannel(4) +
                   ReadAnalogChannel(1);
    SetDigitalChannel(5), ClearDigitalChannel(6), SetAnalogChannel(1), ClearAnalogChannel(2);
    OutputAnalogChannel(1, 77), ClearAllDigital(), ClearAllAnalog(), CloseDevice();
    EXPECT_EQ(results, 102203035);
    EXPECT_EQ(seen, "S open 2 S select 3 S read_digital 4 S read_analog 1 S set_digital 5 "
                    "S clear_digital 6 S set_analog 1 S clear_analog 2 S output_analog 1 77 "
                    "S clear_all_digital S clear_all_analog S close");
}

// ---- The virtual boards, in a board file of their own ----

class VirtualBoards : public ::testing::Test {
  protected:
    char dir[64] = "/tmp/valdora-boards-XXXXXX";
    k8055_board_map map = {-1, NULL};
    void SetUp() override {
        ASSERT_NE(mkdtemp(dir), nullptr);
        setenv("VALDORA_IPC_DIR", dir, 1);
        setenv("VALDORA_K8055_READ_US", "0", 1);
        setenv("VALDORA_BOARDS", "k8055", 1);
        ASSERT_EQ(k8055_board_create(&map), 0);
    }
    void TearDown() override {
        CloseDevice();
        k8055_board_close(&map);
        k8055_board_remove();
        rmdir(dir);
        unsetenv("VALDORA_BOARDS");
    }
    k8055_board &io(int b) {
        return map.file->boards[b];
    }
};

TEST_F(VirtualBoards, SelectingABoardNotOpenedLeavesNoBoardCurrent) {
    io(0).plugged = io(1).plugged = 1;
    io(0).digital_in[0] = 1, io(0).analog_in[0] = 99;
    ASSERT_EQ(SearchDevices(), 3);
    ASSERT_EQ(OpenDevice(0), 0);
    EXPECT_EQ(ReadDigitalChannel(1) * 1000 + ReadAnalogChannel(1), 1099);
    EXPECT_EQ(SetCurrentDevice(1), -1); // plugged in but not opened
    EXPECT_EQ(ReadDigitalChannel(1) * 1000 + ReadAnalogChannel(1), 0);
    SetDigitalChannel(3);
    OutputAnalogChannel(2, 40);
    EXPECT_EQ(io(0).digital_out[2] + io(1).digital_out[2] + io(0).analog_out[1], 0);
    EXPECT_EQ(SetCurrentDevice(0), 0);
    SetDigitalChannel(3);
    EXPECT_EQ(io(0).digital_out[2], 1);
}

TEST_F(VirtualBoards, OpeningFindsABoardFileMadeAfreshSinceTheSearch) {
    io(0).plugged = 1;
    ASSERT_EQ(SearchDevices(), 1);
    k8055_board_close(&map);
    ASSERT_EQ(k8055_board_remove(), 0); // valdora-boards remove, then plug 0
    ASSERT_EQ(k8055_board_create(&map), 0);
    io(0).plugged = 1;
    EXPECT_EQ(OpenDevice(0), 0);
    EXPECT_EQ(io(0).opened, 1);
}

// ---- The wiring ----

// The Arduino Mega 2560's pins by port and bit: digital pins 0 to 53, then A0 to A15.
const char *const mega_pins[70] = {
    "E0", "E1", "E4", "E5", "G5", "E3", "H3", "H4", "H5", "H6", "B4", "B5", "B6", "B7",
    "J1", "J0", "H1", "H0", "D3", "D2", "D1", "D0", "A0", "A1", "A2", "A3", "A4", "A5",
    "A6", "A7", "C7", "C6", "C5", "C4", "C3", "C2", "C1", "C0", "D7", "G2", "G1", "G0",
    "L7", "L6", "L5", "L4", "L3", "L2", "L1", "L0", "B3", "B2", "B1", "B0", "F0", "F1",
    "F2", "F3", "F4", "F5", "F6", "F7", "K0", "K1", "K2", "K3", "K4", "K5", "K6", "K7"};

// The Mega pin's name ("22", "A8") of a port pin of the firmware's table.
std::string mega_pin(const port_pin &p) {
    long index = p.port - avr_host_io - 2;
    std::string at = std::string(1, (char)('A' + index / 3)) + std::to_string(p.bit);
    for (int n = 0; n < 70; n++)
        if (at == mega_pins[n])
            return n < 54 ? std::to_string(n) : "A" + std::to_string(n - 54);
    return "port " + at;
}

TEST(Wiring, EveryChannelOnceAndOnTheFirmwaresPin) {
    const int count[4] = {DIGITAL_INPUTS, ANALOG_INPUTS, DIGITAL_OUTPUTS, ANALOG_OUTPUTS};
    int wired = 0;
    for (int b = 0; b < BOARDS; b++)
        for (int k = 0; k < 4; k++)
            for (int c = 1; c <= count[k]; c++) {
                SCOPED_TRACE(testing::Message() << "board " << b << " kind " << k << " " << c);
                const board_wire *w = board_wire_at(b, (board_kind)k, c);
                std::string want;
                if (k == BOARD_DIGITAL_IN)
                    want = mega_pin(pin_digital_in[b * DIGITAL_INPUTS + c - 1]);
                else if (k == BOARD_ANALOG_IN)
                    want = "A" + std::to_string(pin_analog_in[b * ANALOG_INPUTS + c - 1]);
                else if (k == BOARD_DIGITAL_OUT)
                    want = mega_pin(pin_digital_out[b * DIGITAL_OUTPUTS + c - 1]);
                else if (pin_analog_out[b * ANALOG_OUTPUTS + c - 1].ocr)
                    want = mega_pin(pin_analog_out[b * ANALOG_OUTPUTS + c - 1].pin);
                EXPECT_EQ(w ? w->mega_pin : "", want);
                wired += w != NULL;
            }
    EXPECT_EQ(board_wiring_count, wired); // no channel twice, none out of range
    EXPECT_EQ(wired, 64);
}

// The README's wiring table, one channel a line: "board kind channel name pin".
std::set<std::string> readme_wiring() {
    std::ifstream in(VALDORA_SOURCE_DIR "/README.md");
    std::set<std::string> out;
    std::string line;
    bool table = false;
    while (std::getline(in, line)) {
        if (line.rfind("| Board | Input / output |", 0) == 0)
            table = true;
        else if (table && line.empty())
            break;
        if (!table || line.rfind("| Board", 0) == 0 || line.rfind("|---", 0) == 0)
            continue;
        std::vector<std::string> cell;
        std::stringstream cells(line);
        for (std::string c; std::getline(cells, c, '|');)
            cell.push_back(c);
        std::stringstream what(cell.at(2));
        std::string kind, direction, channels, names, pins;
        what >> kind >> direction;
        std::getline(what, channels);
        std::vector<int> ch;
        int first, last;
        if (sscanf(channels.c_str(), " %d to %d", &first, &last) == 2)
            for (int c = first; c <= last; c++)
                ch.push_back(c);
        else
            for (std::stringstream s(channels); s >> first; s.ignore(1))
                ch.push_back(first);
        std::vector<std::string> name, pin;
        for (size_t at = 0; (at = cell.at(4).find('`', at)) != std::string::npos;) {
            size_t end = cell[4].find('`', at + 1);
            name.push_back(cell[4].substr(at + 1, end - at - 1));
            at = end + 1;
        }
        std::stringstream p(cell.at(5).substr(0, cell[5].find(" (PWM)")));
        for (std::string one; p >> one;)
            pin.push_back(one.substr(0, one.find(',')));
        EXPECT_TRUE(ch.size() == name.size() && ch.size() == pin.size()) << line;
        for (size_t i = 0; i < ch.size() && i < name.size() && i < pin.size(); i++)
            out.insert(cell[1].substr(1, 1) + " " + kind + " " + direction + " " +
                       std::to_string(ch[i]) + " " + name[i] + " " + pin[i]);
    }
    return out;
}

TEST(Wiring, TheReadmeTableSaysWhatTheCodeDoes) {
    const char *const kinds[4] = {"digital in", "analog in", "digital out", "analog out"};
    std::set<std::string> code;
    for (int i = 0; i < board_wiring_count; i++) {
        const board_wire &w = board_wiring[i];
        code.insert(std::to_string(w.board) + " " + kinds[w.kind] + " " +
                    std::to_string(w.channel) + " " + w.name + " " + w.mega_pin);
    }
    std::set<std::string> readme = readme_wiring();
    EXPECT_EQ(readme.size(), 64u);
    for (const std::string &row : code)
        EXPECT_TRUE(readme.count(row)) << "not in the README: " << row;
    for (const std::string &row : readme)
        EXPECT_TRUE(code.count(row)) << "only in the README: " << row;
    // The names that the lamps and the probe show come from the same table.
    EXPECT_EQ(board_wire_name(2, BOARD_ANALOG_OUT, 2), std::string("gear-warning"));
    EXPECT_EQ(board_wire_name(0, BOARD_ANALOG_OUT, 2), std::string(""));
}

} // namespace
