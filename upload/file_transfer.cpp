// YMODEM batch sender: handshake, block 0, data blocks, EOT, and the end of batch.
#include "upload/file_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/terminal_services.h"

namespace {

// Refusals (NAK) a file may receive in all, block 0, data blocks and EOT together.
constexpr int NAK_LIMIT = 3;

// What is left of a 15 s wait that began at `since`, with the poll that ends at its last
// moment: a byte there still counts, one after it does not.
uint32_t LeftOfWait(uint32_t since) {
  uint32_t waited = OsGetTickCount() - since;
  return (waited < YM_WAIT_MS ? YM_WAIT_MS - waited : 0) + YM_POLL_MS;
}

// Waits for the receiver's 'C', skipping any other byte. Past 15 s from the start
// the result is ERR_TIMEOUT, even for a 'C' that came too late; a byte skipped late in
// the wait does not lengthen it.
int WaitForRequest() {
  uint32_t start = OsGetTickCount();
  int result;
  do {
    result = ReceiveByteWithin(LeftOfWait(start));
    if (OsGetTickCount() - start > YM_WAIT_MS) return ERR_TIMEOUT;
  } while (result >= 0 && result != YM_REQUEST);
  return result;
}

// Counts one refusal; true once the budget is spent.
bool RefusedTooOften(int* naks) { return ++*naks > NAK_LIMIT; }

// A receiver such as lrzsz's rb clears its input right after it writes a request or an
// answer. A block that reaches it before that clearing is thrown away unseen, and the
// receiver then waits seconds for what it has lost. So every send waits this long after
// the answer it follows: the receiver has cleared its input by then, however quickly
// the link carries the block.
void TurnAround() { OsSleep(YM_TURNAROUND_MS); }

// Sends block 0 and waits for the 'C' that asks for the data. That request counts only
// after the receiver's ACK of the block: a 'C' before the ACK was sent before the
// receiver could have seen the block (a repeat of its request, still on the line), and
// starting the data on it would put every later answer one block out of step. A 'C'
// without an ACK that comes seconds after the block, later than any line delays a byte,
// is the receiver asking for the block again: it lost it. That 'C' is a refusal like a
// NAK; an early one, like everything else (a cancel included), is skipped until 15 s
// after the last send of block 0. A receiver that never ACKs block 0 is therefore never
// sent data: its upload ends with the time-out or the refusals, and the log stays.
int SendHeader(const char* remoteName, uint32_t size, int* naks) {
  TurnAround();
  int result = SendHeaderBlock(remoteName, size);
  if (result < 0) return result;
  uint32_t sentAt = OsGetTickCount();
  bool acknowledged = false;  // the receiver's ACK of the block 0 last sent has come
  for (;;) {
    result = ReceiveByteWithin(LeftOfWait(sentAt));
    bool askedAgain = result == YM_REQUEST && !acknowledged &&
                      OsGetTickCount() - sentAt > YM_REPEAT_MS;
    if (result == YM_NAK || askedAgain) {
      if (RefusedTooOften(naks)) return ERR_RETRIES;
      TurnAround();
      if (SendHeaderBlock(remoteName, size) != 0) return ERR_SEND;
      sentAt = OsGetTickCount();
      acknowledged = false;
      continue;
    }
    if (OsGetTickCount() - sentAt > YM_WAIT_MS) return ERR_TIMEOUT;
    if (result == YM_ACK) acknowledged = true;
    if (result == YM_REQUEST && acknowledged) return 0;
  }
}

// Sends the file's contents from fd: 1024-byte blocks while more than 1024 bytes
// remain, then 128-byte blocks. A refused block goes again unchanged.
int SendData(int fd, uint32_t size, int* naks) {
  uint8_t data[YM_LONG_FIELD];
  uint32_t sent = 0;
  uint8_t number = 1;
  while (sent < size) {
    uint32_t remaining = size - sent;
    uint32_t wanted = remaining > YM_LONG_FIELD    ? YM_LONG_FIELD
                      : remaining > YM_SHORT_FIELD ? YM_SHORT_FIELD
                                                   : remaining;
    ssize_t count = read(fd, data, wanted);
    if (count <= 0) return ERR_READ;
    uint32_t length = static_cast<uint32_t>(count);
    for (;;) {
      TurnAround();
      int result = SendDataBlock(number, data, length);
      if (result < 0) return result;
      int answer = ReceiveByte();
      if (answer == YM_ACK) break;
      // A receiver that lost the first data block asks for it again with the 'C' it
      // asked with: a refusal. Later blocks it refuses with a NAK.
      bool askedAgain = answer == YM_REQUEST && sent == 0;
      if (answer != YM_NAK && !askedAgain) return ERR_PROTOCOL;
      if (RefusedTooOften(naks)) return ERR_RETRIES;
    }
    sent += length;
    number = static_cast<uint8_t>(number + 1);
  }
  return 0;
}

// Sends EOT until the receiver acknowledges it.
int SendEnd(int* naks) {
  const uint8_t eot = YM_EOT;
  for (;;) {
    TurnAround();
    if (OsPortSend(UPLOAD_PORT, &eot, 1) != 0) return ERR_SEND;
    int answer = ReceiveByte();
    if (answer == YM_ACK) return 0;
    if (answer != YM_NAK) return ERR_PROTOCOL;
    if (RefusedTooOften(naks)) return ERR_RETRIES;
  }
}

// The protocol for one open file of the given size.
int Transfer(int fd, const char* remoteName, uint32_t size) {
  int naks = 0;
  int result = WaitForRequest();
  if (result < 0) return result;
  OsPortReset(UPLOAD_PORT);
  result = SendHeader(remoteName, size, &naks);
  if (result < 0) return result;
  result = SendData(fd, size, &naks);
  if (result < 0) return result;
  return SendEnd(&naks);
}

}  // namespace

int SendFile(const char* path, const char* remoteName) {
  struct stat status;
  if (stat(path, &status) != 0) return ERR_STAT;
  uint32_t size = static_cast<uint32_t>(status.st_size);
  if (size == 0) return 0;
  int fd = open(path, O_RDONLY);
  if (fd < 0) return ERR_OPEN;
  int result = Transfer(fd, remoteName, size);
  close(fd);
  return result < 0 ? result : static_cast<int>(size);
}

int EndBatch() {
  int result = WaitForRequest();
  if (result < 0) return result;
  uint8_t block[YM_SHORT_BLOCK] = {YM_SOH, 0x00, 0xFF};  // the rest stays zero
  uint16_t crc = Crc16(block + 3, YM_SHORT_FIELD);
  block[YM_SHORT_BLOCK - 2] = static_cast<uint8_t>(crc >> 8);
  block[YM_SHORT_BLOCK - 1] = static_cast<uint8_t>(crc & 0xFF);
  // The receiver's ACK is not awaited: lrzsz's rb, for one, clears its output along with
  // its input right after writing it, so it may never arrive.
  TurnAround();
  return OsPortSend(UPLOAD_PORT, block, YM_SHORT_BLOCK) != 0 ? ERR_SEND : 0;
}
