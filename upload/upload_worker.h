// Upload worker: one upload of the battery log as a one-file batch, on its own thread.
#ifndef UPLOAD_UPLOAD_WORKER_H
#define UPLOAD_UPLOAD_WORKER_H

#include <atomic>

// Shared with the upload dialog. Cleared by the dialog before the worker starts, then
// written only by the worker; the dialog polls uploadDone and reads uploadOutcome only
// after joining the worker.
struct UploadRecord {
  std::atomic<int> uploadDone{0};     // 1 once the worker has finished everything
  std::atomic<int> uploadOutcome{0};  // files uploaded, or the failing transfer error
};

extern UploadRecord UploadState;

// The worker's account of the upload, for the dialog to show: "/tmp/msg.tmp". Tests
// point it at a path of their own.
extern const char* MessageFile;

// Opens the message file with the given access, but only as a regular file of this
// user's reached without following a link, and with no other name (hard link): /tmp is
// shared, and a link or a file planted there by someone else is never written through or
// shown. Returns a descriptor, or -1.
int OpenMessageFile(int access);

// Thread entry: uploads the battery log; arg is not used. Returns null.
void* UploadWorker(void* arg);

#endif
