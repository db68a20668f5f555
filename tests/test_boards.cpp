// The boards: the search's choice of back-end, the virtual boards' current board and fresh
// board file, and the wiring table against the firmware's pin table and the README's table.
#include "boards/boards.h"
#include "platform/k8055_board_file.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string seen; // the stand-in back-ends' calls: " K search S reset ..."
long found[2];    // what the search of K (0) and S (1) finds
int serial_takes; // 1 when S takes the boards at its search

template <char T> int search(long *mask) {
    seen += std::string(" ") + T + " search";
    *mask = found[T == 'S'];
    return T == 'K' ? *mask != 0 : serial_takes;
}
#pragma GCC diagnostic ignored "-Wmissing-field-initializers" // only the search is called
const board_methods fake_k = {"K", search<'K'>, NULL},
                    fake_s = {"S", search<'S'>, [] { seen += " S reset"; }};

TEST(Switchboard, TheSearchChoosesOnceAndAsksK8055BeforeTheSerialBoard) {
    const board_methods *real[2] = {boards_backends[0], boards_backends[1]};
    boards_backends[0] = boards_chosen = &fake_k, boards_backends[1] = &fake_s;
    // clang-format off
    const struct { const char *env; long k, s; int takes; long mask; const char *log; } rows[] = {
        {NULL, 5, 15, 1, 5, " S reset K search K"},
        {NULL, 0, 15, 1, 15, " S reset K search S search S"},
        {NULL, 0, 0, 0, 0, " S reset K search S search K"},
        {"", 0, 15, 1, 15, " S reset K search S search S"},
        {"k8055", 0, 15, 1, 0, " S reset K search K"},
        {"serial:/dev/ttyACM0", 5, 0, 1, 0, " S reset S search S"},
        {"virtual", 6, 15, 1, 6, " S reset K search K"}};
    // clang-format on
    for (auto &r : rows) {
        r.env ? setenv("VALDORA_BOARDS", r.env, 1) : unsetenv("VALDORA_BOARDS");
        found[0] = r.k, found[1] = r.s, serial_takes = r.takes, seen.clear();
        EXPECT_EQ(SearchDevices(), r.mask) << (r.env ? r.env : "unset");
        EXPECT_EQ(seen + " " + boards_chosen->name, r.log);
    }
    boards_backends[0] = boards_chosen = real[0], boards_backends[1] = real[1];
}

// A board plugged in but not opened is never current: its reads give 0 and its outputs go
// nowhere, not to the board selected before. An open after valdora-boards removed the board
// file and plugged the board into a new one finds the new file.
TEST(VirtualBoards, ABoardNotOpenedIsNeverCurrentAndOpenFindsANewFile) {
    char dir[] = "/tmp/valdora-boards-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("VALDORA_IPC_DIR", dir, 1), setenv("VALDORA_K8055_READ_US", "0", 1),
        setenv("VALDORA_BOARDS", "k8055", 1);
    k8055_board_map map;
    ASSERT_EQ(k8055_board_create(&map), 0);
    k8055_board *b = map.file->boards;
    b[0].plugged = b[1].plugged = b[0].digital_in[0] = 1, b[0].analog_in[0] = 99;
    ASSERT_EQ(SearchDevices(), 3);
    ASSERT_EQ(OpenDevice(0), 0);
    EXPECT_EQ(ReadDigitalChannel(1) * 1000 + ReadAnalogChannel(1), 1099);
    EXPECT_EQ(SetCurrentDevice(1), -1);
    EXPECT_EQ(ReadDigitalChannel(1) * 1000 + ReadAnalogChannel(1), 0);
    SetDigitalChannel(3), OutputAnalogChannel(2, 40);
    EXPECT_EQ(b[0].digital_out[2] + b[1].digital_out[2] + b[0].analog_out[1], 0);
    k8055_board_close(&map);
    ASSERT_EQ(k8055_board_remove() + k8055_board_create(&map), 0);
    map.file->boards[0].plugged = 1;
    EXPECT_TRUE(OpenDevice(0) == 0 && map.file->boards[0].opened == 1);
    CloseDevice(), k8055_board_close(&map);
    k8055_board_remove(), rmdir(dir), unsetenv("VALDORA_BOARDS");
}

std::string source(const char *path) {
    std::string root(__FILE__);
    std::ifstream in(root.substr(0, root.rfind("/tests/")) + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The Arduino Mega 2560's pins by port and bit: digital pins 0 to 53, then A0 to A15.
const char mega_pins[] = "E0E1E4E5G5E3H3H4H5H6B4B5B6B7J1J0H1H0D3D2D1D0A0A1A2A3A4A5A6A7C7C6C5C4"
                         "C3C2C1C0D7G2G1G0L7L6L5L4L3L2L1L0B3B2B1B0F0F1F2F3F4F5F6F7K0K1K2K3K4K5K6K7";

// The Mega pin ("22", "A8") of a port pin ("A0" for bit 0 of port A).
std::string mega_pin(const std::string &port_bit) {
    size_t at = std::string(mega_pins).find(port_bit) / 2;
    return at < 54 ? std::to_string(at) : at < 70 ? "A" + std::to_string(at - 54) : port_bit;
}

// The firmware's pin table in its source's order: 20 digital inputs, 32 digital outputs and 8
// analog outputs (none where no timer drives one) as Mega pins, the 8 analog inputs as An.
TEST(Wiring, EveryChannelOnceAndOnTheFirmwaresPin) {
    std::string pins = source("/firmware/pins.c");
    std::vector<std::string> out;
    int n;
    std::smatch m;
    for (auto at = pins.cbegin(); std::regex_search(
             at, pins.cend(), m,
             std::regex(R"(P\(PORT([A-L]), (\d)\)|\bNO_PWM,|analog_in\[[^=]*= \{([^}]*))"));
         at = m[0].second)
        if (m[3].matched)
            for (std::istringstream s(m[3]); s >> n; s.ignore(1))
                out.push_back("A" + std::to_string(n));
        else
            out.push_back(m[1].matched ? mega_pin(m[1].str() + m[2].str()) : "none");
    ASSERT_EQ(out.size(), 68u);
    const int count[4] = {5, 2, 8, 2}, first[4] = {0, 20, 28, 60};
    int wired = 0;
    for (int k = 0; k < 4; k++)
        for (int b = 0; b < 4; b++)
            for (int c = 1; c <= count[k]; c++) {
                const board_wire *w = board_wire_at(b, (board_kind)k, c);
                EXPECT_EQ(w ? w->mega_pin : "none", out[first[k] + b * count[k] + c - 1])
                    << "board " << b << " kind " << k << " channel " << c;
                wired += w != NULL;
            }
    EXPECT_EQ(board_wiring_count * 100 + wired, 6464); // no channel twice, none out of range
}

// Each row of the README's table: board, "digital in 2, 3" or "digital out 1 to 8", what it is
// wired to, the names in backquotes and the Mega pins, one channel each in the same order.
TEST(Wiring, TheReadmeTableSaysWhatTheCodeDoes) {
    const char *const kinds[4] = {"digital in", "analog in", "digital out", "analog out"};
    std::set<std::string> code, readme;
    for (const board_wire *w = board_wiring; w < board_wiring + board_wiring_count; w++)
        code.insert(std::to_string(w->board) + " " + kinds[w->kind] + " " +
                    std::to_string(w->channel) + " " + w->name + " " + w->mega_pin);
    std::istringstream in(source("/README.md"));
    std::smatch m;
    std::regex row(R"(\| (\d) \| (\w+ \w+) ([^|]*) \|[^|]*\|([^|]*)\| ([^|(]*)(\(PWM\) )?\|)");
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, row)) {
            int a = 0, z = 0; // the channels: "a to z", or a list read one by one
            bool range = sscanf(m[3].str().c_str(), "%d to %d", &a, &z) == 2;
            std::istringstream chs(m[3]),
                names(std::regex_replace(m[4].str(), std::regex("[`,]"), " ")),
                pins(std::regex_replace(m[5].str(), std::regex(","), " "));
            std::string name, pin;
            for (int c = a; range ? c <= z : bool(chs >> c); c++, chs.ignore(1)) {
                names >> name, pins >> pin;
                readme.insert(m[1].str() + " " + m[2].str() + " " + std::to_string(c) + " " + name +
                              " " + pin);
            }
            EXPECT_FALSE(names >> name || pins >> pin) << line;
        }
    EXPECT_EQ(readme, code);
}

} // namespace
