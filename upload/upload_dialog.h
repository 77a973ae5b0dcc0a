// Upload dialog: the wait screen while the worker uploads, the cancel, the summary.
#ifndef UPLOAD_UPLOAD_DIALOG_H
#define UPLOAD_UPLOAD_DIALOG_H

#include <cstdint>

#include "platform/ui_toolkit.h"

// Runs one upload with its wait screen and summary; returns the upload's outcome.
int RunUploadDialog(igUI* ui);
// The wait screen's callback: 1 once the worker is done, else 0.
int UploadPoll(igEvent* event, intptr_t form);

#endif
