// The settings file: what each line reads into, the reading's edge cases, the values brought
// into range, and a save that keeps the old file whole and the files as the user set them up.
#include "app/app.h"
#include "k8055/k8055.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;
namespace {

// Lines 6 to 37: the calibration record in file order, each axis's switch first.
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
const std::vector<int> switch_lines = {6, 10, 14, 18, 23, 27, 30, 34};

std::string read_file(const std::string &name) {
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(mkdtemp(folder), nullptr);
        fs::current_path(folder);
        reset();
    }
    void TearDown() override {
        fs::current_path("/");
        fs::remove_all(folder);
    }
    // The program's initial values: every axis disabled, every point unrecorded.
    static void reset() {
        xpos = ypos = angle = extra_border = blur = 0, gap = 75, width = 280, height = 400;
        for (int line = 6; line <= 37; line++)
            *record[line - 6] = std::count(switch_lines.begin(), switch_lines.end(), line) - 1;
    }
    // Place and layout in file order, then angle, border, set and the first four record lines.
    static std::vector<long> load(const std::string &text) {
        reset();
        std::ofstream("vd60_rmu.ini", std::ios::binary) << text;
        EXPECT_EQ(load_ini_file(), 0);
        return {xpos,         ypos, gap,        width,      height,     angle,
                extra_border, blur, *record[0], *record[1], *record[2], *record[3]};
    }
    char folder[29] = "/tmp/valdora-settings.XXXXXX";
};

TEST_F(Settings, WrittenFileHasTheLinesInOrderAndReadsBack) {
    EXPECT_EQ(load_ini_file(), 0); // no file: nothing changes
    EXPECT_EQ(width, 280);
    EXPECT_EQ(save_ini_file(), 0); // no window to take the place from: nothing is written
    EXPECT_FALSE(fs::exists("vd60_rmu.ini"));
    gap = -9, width = 301, height = 411, angle = 192, extra_border = 12, blur = 1;
    long_value2 = -123456;
    std::string expected = "-8\n2000\n-9\n301\n411\n";
    for (int line = 6; line <= 37; line++) {
        *record[line - 6] = line * 100 - 7;
        expected += std::to_string(line * 100 - 7) + "\n";
    }
    ASSERT_EQ(write_ini_file(-8, 2000), 0);
    EXPECT_EQ(read_file("vd60_rmu.ini"), expected + "192\n12\n1\n=-123456\n");
    EXPECT_EQ(inifile, nullptr);
    EXPECT_EQ(load(read_file("vd60_rmu.ini")),
              (std::vector<long>{-8, 2000, -9, 301, 411, 192, 12, 1, 593, 693, 793, 893}));
    for (int line = 10; line <= 37; line++)
        EXPECT_EQ(*record[line - 6], line * 100 - 7) << "line " << line;
}

TEST_F(Settings, LinesReadAsTheirLeadingNumberAndTheLayoutIsKeptDrawable) {
    const std::string long_line = "5" + std::string(97, ' ') + "123"; // 101 characters
    struct {
        std::string text;
        std::vector<long> state;
    } rows[] = {
        // Empty line, blanks-digits-letters, signs, letters only, no end on the last line.
        {"\n  12abc\n-8\n+290x\nabc\n0\n-12345\n777",
         {0, 12, -8, 290, 210, 0, 0, 0, 0, -12345, 777, -1}},
        // 97 characters and the line end fit; a longer line is read in two pieces.
        {"7" + std::string(96, ' ') + "\n" + long_line + "\n60\n290\n410\n",
         {7, 5, 123, 150, 290, 0, 0, 0, 410, -1, -1, -1}},
        // Values the window cannot draw come into range; the calibration record does not.
        {"0\n0\n-100\n0\n-5\n7\n-99999\n" + std::string(30, '\n') + "7\n-3\n5\n",
         {0, 0, -9, 150, 210, 0, 0, 1, 7, -99999, 0, 0}},
        {std::string(37, '\n') + "64\n", {0, 0, 0, 150, 210, 64, 0, 0, 0, 0, 0, 0}},
        {std::string(37, '\n') + "128\n", {0, 0, 0, 150, 210, 128, 0, 0, 0, 0, 0, 0}},
        {std::string(37, '\n') + "192\n", {0, 0, 0, 150, 210, 192, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto &r : rows)
        EXPECT_EQ(load(r.text), r.state) << r.text;
}

// Runs a save in a child as a user without special rights, so file permissions apply, with a
// file size limit (when not 0) standing for a full disk. 0 when the save reported success.
int save_as_user(rlim_t size_limit) {
    pid_t child = fork();
    if (child == 0) {
        umask(022);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {size_limit, size_limit};
        if ((size_limit && setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
            (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)))
            _exit(2);
        _exit(write_ini_file(1, 2) == 0 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Settings, SaveKeepsTheOldFileWholeAndTheFilesAsTheUserSetThemUp) {
    long_value2 = 5;
    ASSERT_EQ(write_ini_file(1, 2), 0);
    const std::string saved_text = read_file("vd60_rmu.ini");
    // Longer than the new text: a rewrite in place must cut it.
    const std::string old_text = "37\n45\n" + std::string(300, '9') + "\n";
    struct {
        const char *name;
        mode_t folder, file;
        char setup; // 'l': the settings file is a link; 'd': a folder has the temporary name
        rlim_t size_limit;
        bool saved;
    } rows[] = {{"full disk", 0755, 0644, ' ', 20, false},
                {"a folder in the temporary file's place", 0755, 0644, 'd', 0, false},
                {"read-only folder, writable file", 0555, 0644, ' ', 0, true},
                {"read-only file", 0755, 0444, ' ', 0, false},
                {"file behind a link", 0755, 0644, 'l', 0, true}};
    for (const auto &r : rows) {
        for (const char *old : {"real", "vd60_rmu.ini.tmp", "vd60_rmu.ini"})
            fs::remove_all(old);
        ASSERT_EQ(mkdir("real", 0755), 0);
        const char *file = r.setup == 'l' ? "real/settings.ini" : "vd60_rmu.ini";
        std::ofstream(file, std::ios::binary) << old_text;
        // A chain of links: relative from here, relative within real/, then absolute.
        std::string absolute = std::string(folder) + "/real/settings.ini";
        ASSERT_TRUE(r.setup != 'l' || (symlink("real/a.ini", "vd60_rmu.ini") == 0 &&
                                       symlink("b.ini", "real/a.ini") == 0 &&
                                       symlink(absolute.c_str(), "real/b.ini") == 0));
        ASSERT_TRUE(r.setup != 'd' || mkdir("vd60_rmu.ini.tmp", 0755) == 0);
        for (const char *owned : {".", "real", file})
            ASSERT_TRUE(geteuid() != 0 || lchown(owned, 65534, 65534) == 0);
        chmod(file, r.file);
        chmod(".", r.folder);
        EXPECT_EQ(save_as_user(r.size_limit), r.saved ? 0 : 1) << r.name;
        chmod(".", 0755);
        EXPECT_EQ(read_file(file), r.saved ? saved_text : old_text) << r.name;
        EXPECT_EQ(fs::is_symlink("vd60_rmu.ini"), r.setup == 'l') << r.name;
        EXPECT_EQ(fs::exists("vd60_rmu.ini.tmp"), r.setup == 'd') << r.name;
        EXPECT_FALSE(fs::exists("real/settings.ini.tmp")) << r.name;
    }
}

} // namespace
