// YMODEM batch sender on the USB device port: one SendFile per file, then EndBatch.
// The port must be open (the upload worker opens and closes it).
#ifndef UPLOAD_FILE_TRANSFER_H
#define UPLOAD_FILE_TRANSFER_H

#include "upload/transfer_block.h"

// Sends the file at path under remoteName: waits for the receiver's 'C', sends
// block 0, the data blocks and EOT, with at most three refusals (NAK) in all.
// Returns the file size when the whole file was acknowledged, 0 for an empty file
// (then nothing is sent and the port is not touched), or a negative TransferError.
int SendFile(const char* path, const char* remoteName);

// The processors the terminal has, for the pause before each send (see
// file_transfer.cpp); 0, as it starts, asks the system. Tests set it.
extern int ProcessorCount;

// The tasks ready to run on the terminal, the caller among them, or -1 where the system
// does not say; on a single processor the sender waits for the processor to be its own
// before a send (see file_transfer.cpp). Tests set it.
extern int (*RunnableTasks)();

// Ends the batch: waits for the receiver's 'C' and sends an empty block 0.
// Returns 0 or a negative TransferError.
int EndBatch();

#endif
