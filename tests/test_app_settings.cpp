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

// The calibration record in file order (lines 6 to 37); its switches are on the lines listed.
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
bool is_switch(int line) {
    for (int s : {6, 10, 14, 18, 23, 27, 30, 34})
        if (s == line)
            return true;
    return false;
}

std::string read_file(const std::string &name) {
    std::stringstream text;
    text << std::ifstream(name, std::ios::binary).rdbuf();
    return text.str();
}

std::string lines(const std::vector<std::string> &values) {
    std::string text;
    for (const std::string &v : values)
        text += v + "\n";
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
        reset();
    }
    void TearDown() override {
        std::filesystem::current_path(old_folder);
        std::filesystem::remove_all(folder);
        reset();
    }
    static void reset() {
        xpos = ypos = angle = extra_border = blur = 0, gap = 75, width = 280, height = 400;
        for (int line = 6; line <= 37; line++)
            *record[line - 6] = is_switch(line) ? 0 : -1;
    }
    // The layout values in file order, then angle, border, blur and the first four record lines.
    static std::vector<long> state() {
        return {xpos,         ypos, gap,        width,      height,     angle,
                extra_border, blur, *record[0], *record[1], *record[2], *record[3]};
    }
    static void load(const std::string &text) {
        std::ofstream("vd60_rmu.ini", std::ios::binary) << text;
        load_ini_file();
    }
    std::string folder;
    std::filesystem::path old_folder;
};

TEST_F(Settings, WrittenFileHasTheLinesInOrderAndReadsBack) {
    EXPECT_EQ(load_ini_file(), 0); // no file: nothing changes
    EXPECT_EQ(width, 280);
    EXPECT_EQ(inifile, nullptr);
    gap = -9, width = 301, height = 411, angle = 192, extra_border = 12, blur = 1;
    long_value2 = -123456;
    std::vector<std::string> expected = {"-8", "2000", "-9", "301", "411"};
    for (int line = 6; line <= 37; line++) {
        *record[line - 6] = line * 100 - 7;
        expected.push_back(std::to_string(line * 100 - 7));
    }
    expected.insert(expected.end(), {"192", "12", "1", "=-123456"});
    ASSERT_EQ(write_ini_file(-8, 2000), 0);
    EXPECT_EQ(read_file("vd60_rmu.ini"), lines(expected));
    EXPECT_FALSE(std::filesystem::exists("vd60_rmu.ini.tmp"));
    reset();
    load_ini_file();
    EXPECT_EQ(state(), (std::vector<long>{-8, 2000, -9, 301, 411, 192, 12, 1, 593, 693, 793, 893}));
    for (int line = 10; line <= 37; line++)
        EXPECT_EQ(*record[line - 6], line * 100 - 7) << "line " << line;
}

TEST_F(Settings, EachLineIsReadAsLeadingNumberLongLinesInTwoPieces) {
    xpos = 99;
    // Empty line, blanks then digits then letters, signs, no line end on the last line.
    load("\n  12abc\n-8\n+290x\nabc\n0\n-12345\n777");
    EXPECT_EQ(state(), (std::vector<long>{0, 12, -8, 290, 210 /* "abc" reads as 0 */, 0, 0, 0, 0,
                                          -12345, 777, -1}));
    reset(); // 97 characters and the line end fit; a 101-character line does not.
    load(lines(
        {"7" + std::string(96, ' '), "5" + std::string(97, ' ') + "123", "60", "290", "410"}));
    EXPECT_EQ(state(), (std::vector<long>{7, 5, 123, 150 /* "60" one line late */, 290, 0, 0, 0,
                                          410, -1, -1, -1}));
}

TEST_F(Settings, LayoutIsBroughtIntoDrawableRangeCalibrationIsNot) {
    std::vector<std::string> values = {"0", "0", "-100", "0", "-5"};
    for (int line = 6; line <= 37; line++)
        values.push_back(is_switch(line) ? "7" : "-99999");
    values.insert(values.end(), {"7", "-3", "5"});
    load(lines(values));
    EXPECT_EQ(state(), (std::vector<long>{0, 0, -9, 150, 210, 0, 0, 1, 7, -99999, -99999, -99999}));
    for (int line = 10; line <= 37; line++)
        EXPECT_EQ(*record[line - 6], is_switch(line) ? 7 : -99999) << "line " << line;
    for (int kept : {64, 128, 192}) {
        values[37] = std::to_string(kept);
        load(lines(values));
        EXPECT_EQ(angle, kept);
    }
}

TEST_F(Settings, FailedSaveLeavesTheOldFile) {
    const std::string old_text = lines({"37", "45", "60", "300", "420"});
    std::ofstream("vd60_rmu.ini", std::ios::binary) << old_text;
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
    // A folder in the temporary file's place refuses it, as a read-only folder would.
    ASSERT_EQ(mkdir("vd60_rmu.ini.tmp", 0755), 0);
    EXPECT_EQ(write_ini_file(1, 2), -1);
    EXPECT_EQ(read_file("vd60_rmu.ini"), old_text);
    EXPECT_EQ(inifile, nullptr);
}

// Runs a save as a user without special rights, so that file permissions apply; its result.
int save_as_user() {
    pid_t child = fork();
    if (child == 0) {
        umask(022);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        _exit(write_ini_file(1, 2) == 0 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Settings, SaveKeepsTheFilesAsTheUserSetThemUp) {
    // The old file is longer than the new one: writing in place must cut it.
    const std::string old_text = "37\n45\n" + std::string(300, '9') + "\n";
    const std::string new_text = "1\n2\n75\n280\n400\n0\n-1\n", new_end = "\n0\n0\n0\n=5\n";
    long_value2 = 5;
    struct {
        const char *name;
        mode_t folder, file;
        bool link;
        int result;
    } rows[] = {{"read-only folder, writable file", 0555, 0644, false, 0},
                {"read-only file", 0755, 0444, false, 1},
                {"file behind a link", 0755, 0644, true, 0}};
    for (const auto &r : rows) {
        std::filesystem::remove_all("real");
        std::filesystem::remove("vd60_rmu.ini");
        ASSERT_EQ(mkdir("real", 0755), 0);
        const char *file = r.link ? "real/settings.ini" : "vd60_rmu.ini";
        std::ofstream(file, std::ios::binary) << old_text;
        ASSERT_TRUE(!r.link || symlink("real/settings.ini", "vd60_rmu.ini") == 0);
        for (const char *owned : {".", "real", file})
            ASSERT_TRUE(geteuid() != 0 || lchown(owned, 65534, 65534) == 0);
        chmod(file, r.file);
        chmod(".", r.folder);
        EXPECT_EQ(save_as_user(), r.result) << r.name;
        chmod(".", 0755);
        std::string text = read_file(file);
        bool is_new = text.rfind(new_text, 0) == 0 && text.size() > new_end.size() &&
                      text.substr(text.size() - new_end.size()) == new_end;
        EXPECT_TRUE(r.result == 0 ? is_new : text == old_text) << r.name << ": " << text;
        EXPECT_EQ(std::filesystem::is_symlink("vd60_rmu.ini"), r.link) << r.name;
        EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(r.file))
            << r.name;
        EXPECT_FALSE(std::filesystem::exists("vd60_rmu.ini.tmp") ||
                     std::filesystem::exists("real/settings.ini.tmp"))
            << r.name;
    }
}

} // namespace
