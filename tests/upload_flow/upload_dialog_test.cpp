// The upload dialog: wait screen, cancel and summary, with the worker on a scripted peer.
#include "upload/upload_dialog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "host/toolkit/test_hooks.h"
#include "tests/support/ui_fixture.h"
#include "tests/upload_flow/upload_fixture.h"

namespace {

class UploadDialogTest : public test::UploadUiFixture {
 protected:
  // Presses OK on the summary once it is up, keeping what it showed.
  void AcceptSummary(const std::string& title) {
    keys_.Press(13, [this, title] {
      termsim::FormInfo form = termsim::ScreenForm();
      // The summary, not the wait screen of the same title: one OK button coded 13.
      if (termsim::Cp1251ToUtf8(form.title) != title || form.controls.size() != 2 ||
          form.controls[1].code != 13) {
        return false;
      }
      summary_ = form;
      return true;
    });
  }
  std::string SummaryText() const { return termsim::Cp1251ToUtf8(summary_.controls.at(0).text); }
  bool ErrorLook() const { return (summary_.flags & 32u) != 0 && summary_.second == 0x8000; }

  termsim::FormInfo summary_;
};

TEST_F(UploadDialogTest, WaitScreenAsksThePatienceOfTheUser) {
  WriteLog("line\r\n");
  termsim::FormInfo wait;
  keys_.Inspect([&wait] { wait = termsim::ScreenForm(); });
  AcceptSummary("ОШИБКА");
  RunUploadDialog(ui_);
  EXPECT_EQ(termsim::Cp1251ToUtf8(wait.title), "USB СОЕДИНЕНИЕ");
  EXPECT_EQ(wait.option, 2u);
  ASSERT_EQ(wait.controls.size(), 2u);
  EXPECT_EQ(termsim::Cp1251ToUtf8(wait.controls[0].text),
            "ПОДОЖДИТЕ\nИДЕТ ВЫГРУЗКА\nНЕ ВЫНИМАЙТЕ USB-КАБЕЛЬ!");
  EXPECT_EQ(termsim::Cp1251ToUtf8(wait.controls[1].text), "ОТМЕНА");
  EXPECT_EQ(wait.controls[1].code, 27);
  EXPECT_EQ(wait.controls[1].x, 80);
  EXPECT_EQ(wait.controls[1].y, 150);
}

TEST_F(UploadDialogTest, SuccessfulUploadShowsTheSummaryAndDeletesTheMessageFile) {
  WriteLog(std::string(500, 'z'));
  TransferAbort.store(1);  // as a cancelled upload left it: this one starts afresh
  receiver_.SayAt(1000, {'C'});
  AcceptSummary("USB СОЕДИНЕНИЕ");
  EXPECT_EQ(RunUploadDialog(ui_), 1);
  EXPECT_EQ(SummaryText(), "ВЫГРУЖЕН 500 БАЙТ: r_T42_201710140905.txt\nВЫГРУЖЕНО 1 ФАЙЛОВ");
  EXPECT_FALSE(ErrorLook());
  EXPECT_FALSE(LogExists());
  EXPECT_NE(access(MessageFile, F_OK), 0);
  EXPECT_TRUE(keys_.Done());
}

TEST_F(UploadDialogTest, NoReceiverGivesTheErrorSummary) {
  WriteLog("line\r\n");
  AcceptSummary("ОШИБКА");
  EXPECT_EQ(RunUploadDialog(ui_), ERR_TIMEOUT);
  EXPECT_TRUE(ErrorLook());
  EXPECT_NE(SummaryText().find("СБОЙ -3 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)"), std::string::npos);
  EXPECT_TRUE(LogExists());
  EXPECT_NE(access(MessageFile, F_OK), 0) << "the account of a failure is deleted too";
}

TEST_F(UploadDialogTest, CancelWhileTheReceiverIsSilentEndsInProtocolError) {
  WriteLog(std::string(3000, 'y'));
  receiver_.Say({'C'});
  receiver_.Reply(1, {});  // the first data block gets no answer
  receiver_.HoldSilenceUntil([] { return TransferAbort.load() != 0; });
  keys_.Press(27, [this] { return receiver_.Frames().size() >= 2; });
  AcceptSummary("ОШИБКА");
  const size_t widgets = termsim::LiveWidgets();
  EXPECT_EQ(RunUploadDialog(ui_), ERR_PROTOCOL);
  EXPECT_EQ(termsim::LiveWidgets(), widgets) << "a form of the upload was left behind";
  std::vector<std::string> titles;
  for (const std::string& title : termsim::DrawnTitles()) titles.push_back(termsim::Cp1251ToUtf8(title));
  // The wait screen, the notice while the worker finishes, then the summary.
  EXPECT_EQ(titles, (std::vector<std::string>{"USB СОЕДИНЕНИЕ", "ПОДОЖДИТЕ", "ОШИБКА"}));
  EXPECT_TRUE(ErrorLook());
  EXPECT_NE(SummaryText().find("СБОЙ -4"), std::string::npos);
  EXPECT_TRUE(LogExists());
  EXPECT_EQ(test::Properties()["persist.sys.xcb.enable"], "1");
}

TEST_F(UploadDialogTest, PortThatCannotOpenIsShownInTheOrdinaryLook) {
  WriteLog("line\r\n");
  test::FailPortOpen(UPLOAD_PORT, -19);
  AcceptSummary("USB СОЕДИНЕНИЕ");
  EXPECT_EQ(RunUploadDialog(ui_), 0);
  EXPECT_FALSE(ErrorLook());
  EXPECT_EQ(SummaryText(), "USB СОЕДИНЕНИЕ НЕ ОТКРЫТО\r\n(err = -19)");
}

TEST_F(UploadDialogTest, CancelBeforeTheReceiverAnswersEndsAborted) {
  WriteLog("line\r\n");
  receiver_.HoldSilenceUntil([] { return TransferAbort.load() != 0; });
  keys_.Press(27);
  AcceptSummary("ОШИБКА");
  RunUploadDialog(ui_);
  EXPECT_EQ(SummaryText(),
            "ОШИБКА -5: r_T42_201710140905.txt\nСБОЙ -5 ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО 0 ФАЙЛОВ)");
}

// Whatever holds the message file's path when it is not the worker's own file (here a
// directory, or a link planted at it) is neither shown nor deleted.
TEST_F(UploadDialogTest, NoAccountShowsNoSummary) {
  const std::string other = std::string(MessageFile) + ".other";
  std::ofstream(other) << "not an account";
  for (bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link" : "a directory");
    WriteLog("line\r\n");
    test::ScriptedReceiver receiver;
    test::SetPeer(UPLOAD_PORT, &receiver);
    receiver.Say({'C'});
    ASSERT_EQ(link ? symlink(other.c_str(), MessageFile) : mkdir(MessageFile, 0700), 0);
    termsim::UseTestDisplay([this] { return keys_.Next(); });
    EXPECT_EQ(RunUploadDialog(ui_), 1);
    struct stat status;
    EXPECT_EQ(lstat(MessageFile, &status), 0) << "what is there is not the dialog's to delete";
    unlink(MessageFile);
    rmdir(MessageFile);
    test::SetPeer(UPLOAD_PORT, nullptr);
    std::vector<std::string> titles = termsim::DrawnTitles();
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(termsim::Cp1251ToUtf8(titles[0]), "USB СОЕДИНЕНИЕ");
    EXPECT_FALSE(LogExists());
  }
  EXPECT_EQ(ReadFile(other.c_str()), "not an account");
  unlink(other.c_str());
}

}  // namespace
