// The settings file: what each line reads into, the reading's edge cases, the values brought
// into range, and a save that never loses the old file.
#include "app/app.h"
#include "k8055/k8055.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The calibration record in file order (lines 6 to 37) and the line numbers of its switches.
int32_t *const record[] = {
    &l_throttle_enabled, &l_throttle_cal_min, &l_throttle_cal_idle, &l_throttle_cal_max,
    &r_throttle_enabled, &r_throttle_cal_min, &r_throttle_cal_idle, &r_throttle_cal_max,
    &spoilers_enabled,   &spoilers_ret_cal,   &spoilers_arm_cal,    &spoilers_ext_cal,
    &flaps_enabled,      &flaps_up_cal,       &flaps_8_cal,         &flaps_20_cal,
    &flaps_dn_cal,       &rudder_enabled,     &rudder_left_cal,     &rudder_center_cal,
    &rudder_right_cal,   &toe_brakes_enabled, &toe_brakes_off_cal,  &toe_brakes_on_cal,
    &yoke_lr_enabled,    &yoke_left_cal,      &yoke_center_cal,     &yoke_right_cal,
    &yoke_fb_enabled,    &yoke_forward_cal,   &yoke_mid_cal,        &yoke_back_cal,
};
const int switch_lines[] = {6, 10, 14, 18, 23, 27, 30, 34};

bool is_switch_line(int line) {
    for (int s : switch_lines) {
        if (s == line) {
            return true;
        }
    }
    return false;
}

void reset_values() {
    xpos = ypos = 0;
    gap = 75;
    width = 280;
    height = 400;
    angle = extra_border = blur = 0;
    for (int line = 6; line <= 37; line++) {
        *record[line - 6] = is_switch_line(line) ? 0 : -1;
    }
}

void write_file(const std::string &name, const std::string &text) {
    std::ofstream(name, std::ios::binary) << text;
}

std::string read_file(const std::string &name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string lines(const std::vector<std::string> &values) {
    std::string text;
    for (const std::string &v : values) {
        text += v + "\n";
    }
    return text;
}

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/valdora-settings.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        old_folder = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        reset_values();
    }
    void TearDown() override {
        std::filesystem::current_path(old_folder);
        std::filesystem::remove_all(folder);
        reset_values();
    }
    std::string folder;
    std::filesystem::path old_folder;
};

TEST_F(Settings, NoFileKeepsEveryInitialValue) {
    xpos = 5;
    EXPECT_EQ(load_ini_file(), 0);
    EXPECT_EQ(xpos, 5);
    EXPECT_EQ(width, 280);
    EXPECT_EQ(l_throttle_cal_min, -1);
    EXPECT_EQ(inifile, nullptr);
}

TEST_F(Settings, WrittenFileHasTheLinesInOrderAndReadsBack) {
    gap = -9;
    width = 301;
    height = 411;
    angle = 192;
    extra_border = 12;
    blur = 1;
    for (int line = 6; line <= 37; line++) {
        *record[line - 6] = line * 100 - 7;
    }
    long_value2 = -123456;
    ASSERT_EQ(write_ini_file(-8, 2000), 0);

    std::vector<std::string> expected = {"-8", "2000", "-9", "301", "411"};
    for (int line = 6; line <= 37; line++) {
        expected.push_back(std::to_string(line * 100 - 7));
    }
    for (const char *v : {"192", "12", "1", "=-123456"}) {
        expected.push_back(v);
    }
    EXPECT_EQ(read_file("vd60_rmu.ini"), lines(expected));
    EXPECT_FALSE(std::filesystem::exists("vd60_rmu.ini.tmp"));

    reset_values();
    load_ini_file();
    EXPECT_EQ(xpos, -8);
    EXPECT_EQ(ypos, 2000);
    EXPECT_EQ(gap, -9);
    EXPECT_EQ(width, 301);
    EXPECT_EQ(height, 411);
    EXPECT_EQ(angle, 192);
    EXPECT_EQ(extra_border, 12);
    EXPECT_EQ(blur, 1);
    for (int line = 6; line <= 37; line++) {
        EXPECT_EQ(*record[line - 6], line * 100 - 7) << "line " << line;
    }
}

TEST_F(Settings, FiveLinesRestorePlaceAndSizeOnly) {
    write_file("vd60_rmu.ini", lines({"37", "45", "60", "300", "420"}));
    load_ini_file();
    EXPECT_EQ(xpos, 37);
    EXPECT_EQ(ypos, 45);
    EXPECT_EQ(gap, 60);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 420);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(blur, 0);
    for (int line = 6; line <= 37; line++) {
        EXPECT_EQ(*record[line - 6], is_switch_line(line) ? 0 : -1) << "line " << line;
    }
}

TEST_F(Settings, EachLineIsReadAsLeadingNumber) {
    xpos = 99;
    // An empty line, blanks and digits then letters, a minus sign, a plus sign, a last line
    // without its line end.
    write_file("vd60_rmu.ini", "\n  12abc\n-8\n+290x\nabc\n0\n-12345\n777");
    load_ini_file();
    EXPECT_EQ(xpos, 0);
    EXPECT_EQ(ypos, 12);
    EXPECT_EQ(gap, -8);
    EXPECT_EQ(width, 290);
    EXPECT_EQ(height, 210); // "abc" reads as 0, which the layout cannot draw
    EXPECT_EQ(l_throttle_enabled, 0);
    EXPECT_EQ(l_throttle_cal_min, -12345);
    EXPECT_EQ(l_throttle_cal_idle, 777);
    EXPECT_EQ(l_throttle_cal_max, -1);
}

TEST_F(Settings, LongLineIsReadInTwoPiecesShiftingTheRest) {
    // 97 characters and the line end fit; a 101-character line does not.
    std::string fits = "7" + std::string(96, ' ');
    std::string too_long = "5" + std::string(97, ' ') + "123";
    write_file("vd60_rmu.ini", lines({fits, too_long, "60", "290", "410"}));
    load_ini_file();
    EXPECT_EQ(xpos, 7);
    EXPECT_EQ(ypos, 5);
    EXPECT_EQ(gap, 123);
    EXPECT_EQ(width, 150); // "60" one line late
    EXPECT_EQ(height, 290);
    EXPECT_EQ(l_throttle_enabled, 410);
}

TEST_F(Settings, LayoutIsBroughtIntoDrawableRangeCalibrationIsNot) {
    std::vector<std::string> values = {"0", "0", "-100", "0", "-5"};
    for (int line = 6; line <= 37; line++) {
        values.push_back(is_switch_line(line) ? "7" : "-99999");
    }
    values.insert(values.end(), {"7", "-3", "5"});
    write_file("vd60_rmu.ini", lines(values));
    load_ini_file();
    EXPECT_EQ(gap, -9);
    EXPECT_EQ(width, 150);
    EXPECT_EQ(height, 210);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(extra_border, 0);
    EXPECT_EQ(blur, 1);
    for (int line = 6; line <= 37; line++) {
        EXPECT_EQ(*record[line - 6], is_switch_line(line) ? 7 : -99999) << "line " << line;
    }

    for (int kept : {64, 128, 192}) {
        values[37] = std::to_string(kept);
        write_file("vd60_rmu.ini", lines(values));
        load_ini_file();
        EXPECT_EQ(angle, kept);
    }
}

TEST_F(Settings, UncreatableTemporaryFileLeavesTheOldFile) {
    const std::string old_text = lines({"37", "45", "60", "300", "420"});
    write_file("vd60_rmu.ini", old_text);
    // A folder in the temporary file's place refuses it, as a read-only folder would, also
    // for root.
    ASSERT_EQ(mkdir("vd60_rmu.ini.tmp", 0755), 0);
    EXPECT_EQ(write_ini_file(1, 2), -1);
    EXPECT_EQ(read_file("vd60_rmu.ini"), old_text);
    EXPECT_TRUE(std::filesystem::is_directory("vd60_rmu.ini.tmp"));
    EXPECT_EQ(inifile, nullptr);
}

TEST_F(Settings, WriteFailingHalfwayLeavesTheOldFile) {
    const std::string old_text = lines({"37", "45", "60", "300", "420"});
    write_file("vd60_rmu.ini", old_text);
    // A full disk, met by a file size limit of 20 bytes in a child process.
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 20;
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(write_ini_file(1, 2) == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the short write was not noticed";
    EXPECT_EQ(read_file("vd60_rmu.ini"), old_text);
    EXPECT_FALSE(std::filesystem::exists("vd60_rmu.ini.tmp"));
}

TEST_F(Settings, NoWindowNoSave) {
    ASSERT_EQ(win_get_window(), nullptr);
    EXPECT_EQ(save_ini_file(), 0);
    EXPECT_FALSE(std::filesystem::exists("vd60_rmu.ini"));
}

} // namespace
