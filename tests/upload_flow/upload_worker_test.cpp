// The upload worker against a scripted receiver on the fake port, on a virtual clock.
#include "upload/upload_worker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/toolkit/look/cp1251.h"
#include "tests/fakes/fake_terminal_services.h"
#include "tests/upload/scripted_receiver.h"
#include "tests/upload_flow/upload_fixture.h"
#include "upload/transfer_block.h"
#include "tests/support/wait_until.h"

namespace {

using termsim::Cp1251ToUtf8;

class UploadWorkerTest : public test::UploadFixture {
 protected:
  // Runs the worker to its end on this thread and returns the message file as UTF-8.
  std::string Upload() {
    UploadWorker(nullptr);
    return Cp1251ToUtf8(ReadFile(MessageFile));
  }
};

TEST_F(UploadWorkerTest, SuccessfulUploadSendsTheLogAndDeletesIt) {
  WriteLog(std::string(2100, 'x'));
  receiver_.Say({'C'});
  // Longer than the new account: none of it may show after it.
  std::ofstream(MessageFile) << "an earlier account, left readable, " << std::string(200, '#');
  ASSERT_EQ(chmod(MessageFile, 0644), 0);
  EXPECT_EQ(Upload(), "ВЫГРУЖЕН 2100 БАЙТ: r_T42_201710140905.txt\nВЫГРУЖЕНО 1 ФАЙЛОВ");
  EXPECT_EQ(UploadState.uploadOutcome.load(), 1);
  EXPECT_EQ(UploadState.uploadDone.load(), 1);
  EXPECT_FALSE(LogExists());
  struct stat status;
  ASSERT_EQ(stat(MessageFile, &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u) << "the account is the user's alone";
  std::vector<uint8_t> data = receiver_.AcceptedData();
  ASSERT_GE(data.size(), 2100u);
  EXPECT_EQ(std::string(data.begin(), data.begin() + 2100), std::string(2100, 'x'));
}

TEST_F(UploadWorkerTest, ServicesAreCalledInOrderAndThePropertyIsRestored) {
  WriteLog("line\r\n");
  receiver_.Say({'C'});
  Upload();
  // Each of block 0, the one data block, EOT and the empty block 0 waits out the pause
  // before a send: the receiver here answers at once, as over a link without a delay of
  // its own, where a receiver such as rb may not yet have cleared its input; a send
  // after its request ('C') waits longer than one after its ACK.
  const std::string afterAck = "Sleep " + std::to_string(YM_TURNAROUND_MS);
  const std::string afterRequest = "Sleep " + std::to_string(YM_REQUEST_PAUSE_MS);
  std::vector<std::string> expected = {
      "RegGet persist.sys.xcb.enable", "RegSet persist.sys.xcb.enable=0", "Sleep 500",
      "PortOpen 11 115200,8,n,1",      "RegGet ro.fac.mach",             "PortReset 11",
      afterRequest,                    afterRequest,                     afterAck,
      afterRequest,                    "PortClose 11",                   "RegSet persist.sys.xcb.enable=1"};
  EXPECT_EQ(test::CallLog(), expected);
  EXPECT_FALSE(test::PortIsOpen(UPLOAD_PORT));
}

TEST_F(UploadWorkerTest, NoReceiverTimesOutAndKeepsTheLog) {
  WriteLog("line\r\n");
  EXPECT_EQ(Upload(),
            "ОШИБКА -3: r_T42_201710140905.txt\nСБОЙ -3 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)");
  EXPECT_EQ(UploadState.uploadOutcome.load(), ERR_TIMEOUT);
  EXPECT_GE(test::Ticks(), 15000u);
  EXPECT_LT(test::Ticks(), 31000u);
  EXPECT_EQ(ReadFile(log_), "line\r\n");
  EXPECT_EQ(test::Properties()["persist.sys.xcb.enable"], "1");
}

// The file arrived, but the receiver never asked for the end of the batch: the batch
// failed, so the log stays for the next upload and the summary says so.
TEST_F(UploadWorkerTest, ABatchThatIsNeverEndedKeepsTheLog) {
  WriteLog("line\r\n");
  receiver_.Say({'C'});
  receiver_.Reply(2, {YM_ACK});  // EOT: acknowledged, but no request for the next file
  EXPECT_EQ(Upload(), "ВЫГРУЖЕН 6 БАЙТ: r_T42_201710140905.txt\n"
                      "СБОЙ -3 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 1 ФАЙЛОВ)");
  EXPECT_EQ(UploadState.uploadOutcome.load(), ERR_TIMEOUT);
  EXPECT_EQ(ReadFile(log_), "line\r\n");
  EXPECT_EQ(receiver_.FramesOf(test::Frame::HEADER).size(), 1u) << "no end of batch was sent";
}

TEST_F(UploadWorkerTest, EmptyLogStillEndsTheBatchAndIsDeleted) {
  WriteLog("");
  receiver_.Say({'C'});
  EXPECT_EQ(Upload(), "ФАЙЛ ПУСТОЙ: r_T42_201710140905.txt\nВЫГРУЖЕНО 0 ФАЙЛОВ");
  EXPECT_EQ(UploadState.uploadOutcome.load(), 0);
  ASSERT_EQ(receiver_.FramesOf(test::Frame::HEADER).size(), 1u);
  EXPECT_EQ(receiver_.FramesOf(test::Frame::HEADER)[0].Name(), "");  // the batch's end
  EXPECT_FALSE(LogExists());
}

TEST_F(UploadWorkerTest, MissingLogFailsWithStatError) {
  receiver_.Say({'C'});
  EXPECT_EQ(Upload(),
            "ОШИБКА -11: r_T42_201710140905.txt\nСБОЙ -11 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)");
  EXPECT_EQ(UploadState.uploadOutcome.load(), ERR_STAT);
}

TEST_F(UploadWorkerTest, PortThatCannotOpenIsReportedAndThePropertyRestored) {
  WriteLog("line\r\n");
  test::FailPortOpen(UPLOAD_PORT, -19);
  EXPECT_EQ(Upload(), "USB СОЕДИНЕНИЕ НЕ ОТКРЫТО\r\n(err = -19)");
  EXPECT_EQ(UploadState.uploadOutcome.load(), 0);
  EXPECT_EQ(UploadState.uploadDone.load(), 1);
  EXPECT_EQ(test::Properties()["persist.sys.xcb.enable"], "1");
  for (const std::string& call : test::CallLog()) EXPECT_NE(call, "PortClose 11");
  EXPECT_TRUE(LogExists());
}

TEST_F(UploadWorkerTest, CancelInTheDataPhaseEndsWithProtocolError) {
  WriteLog(std::string(3000, 'y'));
  receiver_.Say({'C'});
  receiver_.CancelAt(1);  // the first data block: no answer, and the cancel
  EXPECT_EQ(Upload(),
            "ОШИБКА -4: r_T42_201710140905.txt\nСБОЙ -4 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)");
  EXPECT_EQ(UploadState.uploadOutcome.load(), ERR_PROTOCOL);
  EXPECT_TRUE(LogExists());
}

TEST_F(UploadWorkerTest, UnreadablePropertyIsRestoredAsEmpty) {
  WriteLog("line\r\n");
  receiver_.Say({'C'});
  test::FailPropertyReads(true);
  Upload();
  EXPECT_EQ(test::Properties()["persist.sys.xcb.enable"], "");
  EXPECT_EQ(UploadState.uploadOutcome.load(), 1);
}

TEST_F(UploadWorkerTest, NameOfAnAfternoonUploadWithoutAModel) {
  WriteLog("line\r\n");
  receiver_.Say({'C'});
  test::SetProperty("ro.fac.mach", "");
  // An afternoon upload: the hour on the 24-hour clock, so that it is not named like the
  // morning's; day and month with two digits.
  test::SetTime(TerminalTime{2018, 3, 4, 21, 7, 33, 0});
  EXPECT_EQ(Upload(), "ВЫГРУЖЕН 6 БАЙТ: r__201803042107.txt\nВЫГРУЖЕНО 1 ФАЙЛОВ");
}

// The dialog reads the account once it sees uploadDone, so the flag comes after the
// file is complete and closed. This thread watches the flag while the worker runs on
// its own; a flag set too early is caught only when the watcher looks in the moment
// between the flag and the close, hence the many rounds.
TEST_F(UploadWorkerTest, TheAccountIsCompleteOnceTheWorkerSaysItIsDone) {
  const std::string account =
      termsim::Utf8ToCp1251("ВЫГРУЖЕН 6 БАЙТ: r_T42_201710140905.txt\nВЫГРУЖЕНО 1 ФАЙЛОВ");
  for (int round = 0; round < 200; round++) {
    WriteLog("line\r\n");
    test::ScriptedReceiver receiver;
    test::SetPeer(UPLOAD_PORT, &receiver);
    receiver.Say({'C'});
    UploadState.uploadDone.store(0);
    std::thread worker(UploadWorker, nullptr);
    const bool done = test::WaitUntil([] { return UploadState.uploadDone.load() != 0; },
                                      test::Look::kSpinning);
    struct stat status;
    const bool found = stat(MessageFile, &status) == 0;
    worker.join();
    test::SetPeer(UPLOAD_PORT, nullptr);
    ASSERT_TRUE(done) << "round " << round << ": the worker never said it was done";
    ASSERT_TRUE(found);
    ASSERT_EQ(static_cast<size_t>(status.st_size), account.size()) << "round " << round;
  }
  EXPECT_EQ(ReadFile(MessageFile), account);
}

// /tmp is shared: what another user put at the message file's path is neither written
// through nor truncated, and the upload runs without messages.
TEST_F(UploadWorkerTest, UploadRunsWithoutMessagesWhereSomethingElseHoldsThePath) {
  const std::string victim = std::string(MessageFile) + ".victim";
  struct Obstacle {
    const char* what;
    std::function<void()> plant;
    const char* readsAfter;  // what reading the path gives after the upload
  };
  std::vector<Obstacle> obstacles = {
      {"a directory", [] { ASSERT_EQ(mkdir(MessageFile, 0700), 0); }, ""},
      {"a link to a file", [&] { ASSERT_EQ(symlink(victim.c_str(), MessageFile), 0); }, "keep"},
      {"a hard link to a file", [&] { ASSERT_EQ(link(victim.c_str(), MessageFile), 0); }, "keep"},
      {"a dangling link", [] { ASSERT_EQ(symlink("/nonexistent/msg", MessageFile), 0); }, ""}};
  if (geteuid() == 0) {  // only root can make a file of another owner
    obstacles.push_back({"a file of another owner", [] {
                           std::ofstream(MessageFile) << "theirs";
                           ASSERT_EQ(chown(MessageFile, 65534, 65534), 0);
                         }, "theirs"});
  }
  for (const Obstacle& obstacle : obstacles) {
    SCOPED_TRACE(obstacle.what);
    std::ofstream(victim) << "keep";
    WriteLog("line\r\n");
    test::ScriptedReceiver receiver;
    test::SetPeer(UPLOAD_PORT, &receiver);
    receiver.Say({'C'});
    obstacle.plant();
    UploadWorker(nullptr);
    EXPECT_EQ(UploadState.uploadOutcome.load(), 1);
    EXPECT_EQ(UploadState.uploadDone.load(), 1);
    EXPECT_FALSE(LogExists());
    EXPECT_EQ(ReadFile(MessageFile), obstacle.readsAfter);
    EXPECT_EQ(ReadFile(victim.c_str()), "keep");
    test::SetPeer(UPLOAD_PORT, nullptr);
    unlink(MessageFile);
    rmdir(MessageFile);
  }
  unlink(victim.c_str());
}

}  // namespace
