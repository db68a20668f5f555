// The log valdora.log: set aside as valdora.log.1 once it holds 1 MB (one old file kept), and a
// log that cannot be written reported as such, nothing else. (Its lines: tests/e2e/test_log.sh.)
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app.h"

namespace {

std::string contents(const char *path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Log : public ::testing::Test {
  protected:
    char dir[64] = "/tmp/valdora-log-XXXXXX";
    char old_dir[4096] = "";
    void SetUp() override {
        ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
        ASSERT_NE(mkdtemp(dir), nullptr);
        ASSERT_EQ(chdir(dir), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_dir), 0);
        ASSERT_EQ(system((std::string("rm -rf ") + dir).c_str()), 0);
    }
};

TEST_F(Log, AtOneMegabyteTheLogIsSetAsideKeepingOneOldFile) {
    for (char fill : {'a', 'b'}) {
        // 26 bytes short of 1 MB, and a line of 26 bytes fills it to the byte.
        std::ofstream("valdora.log", std::ios::binary) << std::string(1048550, fill);
        ASSERT_EQ(log_event("below"), 0);
        ASSERT_EQ(log_event("after"), 0);
        std::string old = contents("valdora.log.1"); // the newest full log; the one before, gone
        EXPECT_TRUE(old.size() == 1048576u && old[0] == fill) << old.size() << " " << old[0];
        EXPECT_EQ(contents("valdora.log").substr(20), "after\n");
    }
    struct stat st;
    EXPECT_NE(stat("valdora.log.2", &st), 0);
}

TEST_F(Log, AnUnwritableLogIsReportedAndLeftAlone) {
    ASSERT_EQ(mkdir("valdora.log", 0700), 0); // cannot be opened for writing, even by root
    EXPECT_EQ(log_event("exit 0"), -1);
    struct stat st;
    EXPECT_TRUE(stat("valdora.log", &st) == 0 && S_ISDIR(st.st_mode));
    EXPECT_NE(stat("valdora.log.1", &st), 0);
}

} // namespace
