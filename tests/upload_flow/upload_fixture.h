// Common ground of the upload tests: a private working directory holding ./data, the
// fake services with a scripted receiver on port 11, a known model, time and xcb value.
#ifndef TESTS_UPLOAD_FLOW_UPLOAD_FIXTURE_H
#define TESTS_UPLOAD_FLOW_UPLOAD_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host/toolkit/test_hooks.h"
#include "platform/terminal_services.h"
#include "tests/fakes/fake_terminal_services.h"
#include "tests/support/ui_fixture.h"
#include "tests/support/work_dir.h"
#include "tests/upload/scripted_receiver.h"
#include "upload/transfer_block.h"
#include "upload/upload_worker.h"

namespace test {

class UploadFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Reset();
    TerminalTime t{2017, 10, 14, 9, 5, 33, 6};
    test::SetTime(t);
    test::SetProperty("persist.sys.xcb.enable", "1");
    test::SetProperty("ro.fac.mach", "T42");
    test::SetPeer(UPLOAD_PORT, &receiver_);
    TransferAbort.store(0);
    UploadState.uploadDone.store(0);
    UploadState.uploadOutcome.store(0);
    work_.Enter();
  }
  void TearDown() override {
    test::SetPeer(UPLOAD_PORT, nullptr);
    work_.Leave();
  }

  void WriteLog(const std::string& text) {
    std::ofstream(log_, std::ios::binary) << text;
  }
  bool LogExists() const {
    struct stat status;
    return stat(log_, &status) == 0;
  }
  static std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  const char* log_ = "data/report.txt";
  ScriptedReceiver receiver_;
  WorkDir work_;
};

// The same, with a fresh toolkit on the test display whose keys come from keys_.
class UploadUiFixture : public UploadFixture {
 protected:
  void SetUp() override {
    UploadFixture::SetUp();
    termsim::ResetToolkit();
    termsim::UseTestDisplay([this] { return keys_.Next(); });
    ui_ = igUI::Init(0);
  }
  void TearDown() override {
    termsim::ResetToolkit();
    UploadFixture::TearDown();
  }

  KeyScript keys_;
  igUI* ui_ = nullptr;
};

}  // namespace test

#endif
