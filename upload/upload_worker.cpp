#include "upload/upload_worker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/screen_refresh.h"
#include "platform/terminal_services.h"
#include "upload/file_transfer.h"

UploadRecord UploadState;
const char* MessageFile = "/tmp/msg.tmp";

namespace {

const char* const XCB_PROPERTY = "persist.sys.xcb.enable";
const char* const MODEL_PROPERTY = "ro.fac.mach";
const char* const PORT_ATTRIBUTES = "115200,8,n,1";
constexpr uint32_t XCB_SETTLE_MS = 500;
constexpr size_t NAME_SIZE = 1280;
constexpr mode_t MESSAGE_FILE_MODE = 0600;

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Reads a property into a buffer of OS_REG_VALUE_SIZE bytes. When the read fails the
// value is taken as empty, which is also how a property that was never set reads.
void ReadProperty(const char* key, char* value) {
  value[0] = '\0';
  if (OsRegGetValue(key, value) < 0) value[0] = '\0';
  value[OS_REG_VALUE_SIZE - 1] = '\0';
}

// Creates the message file empty. Null when it cannot be created safely; the upload
// then runs without messages.
FILE* CreateMessageFile() {
  int fd = OpenMessageFile(O_WRONLY | O_CREAT);
  if (fd < 0) return nullptr;
  // A file left by an earlier upload keeps its mode when opened: the account is made the
  // user's alone again.
  FILE* file = fchmod(fd, MESSAGE_FILE_MODE) == 0 && ftruncate(fd, 0) == 0 ? fdopen(fd, "w")
                                                                           : nullptr;
  if (file == nullptr) close(fd);
  return file;
}

}  // namespace

int OpenMessageFile(int access) {
  int fd = open(MessageFile, access | O_NOFOLLOW | O_CLOEXEC, MESSAGE_FILE_MODE);
  if (fd < 0) return -1;
  struct stat status;
  // A second name is another file's: a hard link planted in /tmp passes the owner check
  // when it is the user's own file, and the kernel may not refuse to make it.
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
      status.st_nlink != 1) {
    close(fd);
    return -1;
  }
  return fd;
}

void* UploadWorker(void*) {
  FILE* messages = CreateMessageFile();
  int result = -1;
  UploadState.uploadOutcome.store(0, relaxed);
  UploadState.uploadDone.store(0, relaxed);

  // The xcb service holds the USB port; it is switched off for the upload and put back
  // as it was, whatever happens. A value that cannot be read is put back as empty.
  char saved[OS_REG_VALUE_SIZE];
  ReadProperty(XCB_PROPERTY, saved);
  OsRegSetValue(XCB_PROPERTY, "0");
  OsSleep(XCB_SETTLE_MS);

  int opened = OsPortOpen(UPLOAD_PORT, PORT_ATTRIBUTES);
  if (opened != 0) {
    if (messages) std::fprintf(messages, "USB СОЕДИНЕНИЕ НЕ ОТКРЫТО\r\n(err = %i)", opened);
  } else {
    result = 0;
    TerminalTime t;
    OsGetTime(&t);
    char model[OS_REG_VALUE_SIZE];
    ReadProperty(MODEL_PROPERTY, model);
    char remoteName[NAME_SIZE];
    std::snprintf(remoteName, sizeof remoteName, "r_%s_%u%02u%02u%02u%02u.txt", model, t.year,
                  t.month, t.day, t.hour, t.minute);
    char localPath[NAME_SIZE];
    std::snprintf(localPath, sizeof localPath, "%s", ReportLog);

    int f = SendFile(localPath, remoteName);
    if (f < 0) {
      if (messages) std::fprintf(messages, "ОШИБКА %i: %s\n", f, remoteName);
      result = f;
    } else if (f == 0) {
      if (messages) std::fprintf(messages, "ФАЙЛ ПУСТОЙ: %s\n", remoteName);
    } else {
      if (messages) std::fprintf(messages, "ВЫГРУЖЕН %i БАЙТ: %s\n", f, remoteName);
      UploadState.uploadOutcome.fetch_add(1, relaxed);
    }
    if (result >= 0) result = EndBatch();

    int uploaded = UploadState.uploadOutcome.load(relaxed);
    if (result >= 0) {
      if (messages) std::fprintf(messages, "ВЫГРУЖЕНО %i ФАЙЛОВ", uploaded);
      unlink(localPath);
    } else {
      if (messages) {
        std::fprintf(messages, "СБОЙ %i ПРИ ВЫГРУЗКЕ (ВЫГРУЖЕНО %i ФАЙЛОВ)", result, uploaded);
      }
      UploadState.uploadOutcome.store(result, relaxed);
    }
    OsPortClose(UPLOAD_PORT);
  }

  OsRegSetValue(XCB_PROPERTY, saved);
  if (messages) std::fclose(messages);
  // Last: the dialog ends its wait on this flag, and the join orders everything above.
  UploadState.uploadDone.store(1, relaxed);
  return nullptr;
}
