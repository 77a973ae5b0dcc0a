#include "upload/upload_dialog.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/message_box.h"
#include "app/screen_codes.h"
#include "upload/transfer_block.h"
#include "upload/upload_worker.h"

namespace {

const char* const DIALOG_TITLE = "USB СОЕДИНЕНИЕ";
const char* const ERROR_TITLE = "ОШИБКА";
constexpr unsigned short DIALOG_OPTION = 2;

constexpr std::memory_order relaxed = std::memory_order_relaxed;

pthread_t workerThread;

igForm* BuildWaitScreen(igUI* ui) {
  const unsigned short cw = Extent(igUI::GetClientWidth());
  const unsigned short ch = Extent(igUI::GetClientHeight());
  igForm* form = new igForm(DIALOG_TITLE, nullptr);
  form->SetFlag(FORM_FLAG_FRAMED);
  form->SetOption(DIALOG_OPTION);
  igMultiLine* text = new igMultiLine(2, 2, Extent(cw - 6), Extent(ch - 95), STYLE_TEXT_BLOCK,
                                      "ПОДОЖДИТЕ\nИДЕТ ВЫГРУЗКА\nНЕ ВЫНИМАЙТЕ USB-КАБЕЛЬ!");
  igButton* cancel = new igButton(Coord(cw / 4), Coord(ch - 70), Extent(cw / 2), 30, "ОТМЕНА", nullptr,
                                  CODE_CANCEL);
  form->AddChild(text);
  form->AddChild(cancel);
  ui->Add(form);
  return form;
}

// Shows the worker's account and deletes it. A missing or empty account shows nothing,
// and so does anything at its path that is not the worker's own regular file.
void ShowSummary(igUI* ui, int outcome) {
  struct stat status;
  if (lstat(MessageFile, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_uid != geteuid() || status.st_size <= 0) {
    return;
  }
  size_t size = static_cast<size_t>(status.st_size);
  char* text = static_cast<char*>(std::calloc(size + 1, 1));
  if (text == nullptr) return;
  int fd = OpenMessageFile(O_RDONLY);
  if (fd >= 0) {
    ssize_t got = read(fd, text, size);
    // Only what was read is shown, however short the read.
    text[got > 0 ? got : 0] = '\0';
    close(fd);
  }
  if (outcome >= 0) {
    ShowMessageBox(ui, DIALOG_TITLE, text, MB_OK);
  } else {
    ShowMessageBox(ui, ERROR_TITLE, text, MB_ERROR | MB_OK);
  }
  std::free(text);
  unlink(MessageFile);
}

}  // namespace

int UploadPoll(igEvent*, intptr_t) { return UploadState.uploadDone.load(relaxed) ? 1 : 0; }

int RunUploadDialog(igUI* ui) {
  igForm* form = BuildWaitScreen(ui);

  TransferAbort.store(0, relaxed);
  UploadState.uploadDone.store(0, relaxed);
  UploadState.uploadOutcome.store(0, relaxed);
  int started = pthread_create(&workerThread, nullptr, UploadWorker, nullptr);
  if (started != 0) {
    // Without a worker the wait screen would never close: say so instead of waiting.
    ui->Del(form);
    char text[64];
    std::snprintf(text, sizeof text, "ВЫГРУЗКА НЕ ЗАПУЩЕНА\r\n(err = %i)", started);
    ShowMessageBox(ui, ERROR_TITLE, text, MB_ERROR | MB_OK);
    return 0;
  }

  form->Prepare();
  ui->Show(form, UploadPoll);
  ui->WaitEndModal();
  if (form->GetResult() == RESULT_CANCELLED) {
    TransferAbort.store(1, relaxed);
    ShowMessageBox(ui, "ПОДОЖДИТЕ", "ЗАВЕРШЕНИЕ ВЫГРУЗКИ", MB_NOWAIT);
  }
  pthread_join(workerThread, nullptr);
  ui->Del(form);

  int outcome = UploadState.uploadOutcome.load(relaxed);
  ShowSummary(ui, outcome);
  return outcome;
}
