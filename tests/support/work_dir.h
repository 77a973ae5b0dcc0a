// A fresh temporary working directory holding ./data, as the program finds it at start;
// the previous working directory and a clean /tmp come back at the end. The upload's
// message file is pointed into it, so that no test touches the one other programs use.
#ifndef TESTS_SUPPORT_WORK_DIR_H
#define TESTS_SUPPORT_WORK_DIR_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "upload/upload_worker.h"

namespace test {

class WorkDir {
 public:
  // Call from a fixture's SetUp (it asserts).
  void Enter() {
    char pattern[] = "/tmp/battest-work-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(getcwd(oldDir_, sizeof oldDir_), oldDir_);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    ASSERT_EQ(mkdir("data", 0777), 0);
    messageFile_ = dir_ + "/msg.tmp";
    savedMessageFile_ = MessageFile;
    MessageFile = messageFile_.c_str();
  }
  // Removes the log, ./data and the directory, and returns to where the test was.
  void Leave() {
    if (dir_.empty()) return;
    unlink(MessageFile);
    rmdir(MessageFile);  // some tests put a directory there
    MessageFile = savedMessageFile_;
    unlink("data/report.txt");
    rmdir("data/report.txt");  // some tests put a directory there
    rmdir("data");
    EXPECT_EQ(chdir(oldDir_), 0);
    EXPECT_EQ(rmdir(dir_.c_str()), 0) << dir_ << " was left with files in it";
    dir_.clear();
  }

 private:
  std::string dir_;
  std::string messageFile_;
  const char* savedMessageFile_ = nullptr;
  char oldDir_[4096] = {};
};

}  // namespace test

#endif
