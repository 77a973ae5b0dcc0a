// YMODEM batch sender: handshake, block 0, data blocks, EOT, and the end of batch.
#include "upload/file_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

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

// The pause before a send.
//
// A receiver such as lrzsz's rb clears its input right after it writes a request or an
// answer. A block that reaches it before that clearing is thrown away unseen, and the
// receiver then waits seconds for what it has lost. Timed inside rb on a two-core PC, from
// the start of the answer's write to the end of the clearing (median, 99th and 99.9th
// percentile, longest): idle 8 us, 0.09, 0.6 and 2.7 ms (1,581 answers); beside two busy
// programs and others' builds 23 us, 0.4, 15 and 48 ms (16,893: rb is preempted as its
// write wakes the other side); on one processor beside two busy programs 20 us, 2.0, 5.2
// and 6.8 ms (5,221). Blocks rb lost on a pseudo-terminal or through socat, by the pause
// before each send: with none, 4 of 212 answers idle and 13 of 365 beside two busy
// programs; with 1 ms, none of 2,349 beside them but 1 of 1,045 on one processor; with
// 2 ms, none of 2,088 on one processor. Beside the busy programs and others' builds: 2 ms
// lost 3 of 1,047; 5 ms, 3 of 4,179; 10 ms, none of 4,176; 20 ms, 1 of 4,177.
//
// The race needs the answer and the block to cross faster than the receiver clears its
// input: both ends on one machine (a pseudo-terminal, socat, the emulated board). Across
// a link with a delay of its own the answer and the block each take it, a millisecond or
// more on USB, and the receiver has long cleared its input when the block comes. So the
// sender pauses YM_TURNAROUND_MS before each send unless the link has shown its delay:
// each of the first YM_DELAY_ANSWERS answers of the file, and every one since, came
// YM_LINK_DELAY_MS or more after the send it answers (over a link with 1 ms each way none
// ever came sooner). One quicker answer shows a link without a delay, and the pause is
// taken for the rest of the file: on a loaded machine a receiver on a pseudo-terminal
// answers 10 to 40 ms late for runs of up to 15 answers, but then quickly again (a first
// run longer than YM_DELAY_ANSWERS leaves the blocks after it unpaused until the next
// quick answer: the risk this rule leaves, on a loaded machine only).
//
// On a single processor the answer's time is that processor's work as much as the link's,
// and the sender, woken by the answer, may run before a receiver on the same processor has
// cleared its input however long either waited: on the emulated board rb lost two blocks
// in 30 uploads, each sent 2 ms after its ACK while rb was still held in the write of that
// ACK (for 14 and 33 ms), other tasks having had the processor meanwhile. So there the
// sender, after the pause the link requires (none where it has shown its delay), waits
// until it is the only task ready to run: a receiver between its answer and its clearing
// is ready to run, one waiting for the block is not. The wait is looked at every
// millisecond and ends after YM_SHARED_WAIT_MS whatever else keeps the processor busy (a
// screen being drawn, another program); where the system does not say what is ready to
// run, it is YM_SHARED_PAUSE_MS, a pause of any length letting the receiver run first.
//
// A send that follows the receiver's request rather than its ACK (block 0, the first data
// block, the end of the batch) pauses YM_REQUEST_PAUSE_MS there: rb's requests come at its
// turning points (its start, a file opened or closed), and its clearing after them came
// late far more often: after its first request, 3 of 134 took more than 5 ms, up to
// 23 ms; after later requests 2 of 359, up to 16 ms; after ACKs 39 of 23,921.
//
// The pause thus costs YM_TURNAROUND_MS a block on a link without a delay, and on a link
// with one only the first YM_DELAY_ANSWERS blocks pay it: 0.1 s, whatever the file's size
// (2.5 s for 1 MiB over a link with 1 ms each way).
struct LinkRecord {
  uint32_t lateAnswers = 0;   // answers timed so far, each YM_LINK_DELAY_MS or later
  bool quickAnswer = false;   // one came sooner: the link has no delay of its own
  bool oneProcessor = false;  // the sender has a single processor
};

// The link's delay as the current file has shown it (one upload at a time).
LinkRecord LinkState;

// Starts timing the link afresh: a new file may go to another receiver.
void StartTiming() {
  unsigned processors = ProcessorCount > 0 ? static_cast<unsigned>(ProcessorCount)
                                           : std::thread::hardware_concurrency();
  LinkState = LinkRecord{};
  LinkState.oneProcessor = processors <= 1;  // 0: unknown, so counted as one
}

// Times the receiver's ACK of a send that began at sendFrom and had handed its bytes to
// the port at sentAt. A late answer is late counted from the end of the send, a quick one
// quick counted from its start: a send that took long itself (a preempted sender, a
// port that blocks) decides nothing.
void TimeAnswer(uint32_t sendFrom, uint32_t sentAt) {
  uint32_t now = OsGetTickCount();
  if (now - sentAt >= YM_LINK_DELAY_MS) {
    ++LinkState.lateAnswers;
  } else if (now - sendFrom < YM_LINK_DELAY_MS) {
    LinkState.quickAnswer = true;
  }
}

// The tasks ready to run, from the system's load figures ("0.10 0.05 0.01 2/85 1234":
// ready to run, of all), or -1.
int RunnableFromLoad() {
  int fd = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[128];
  ssize_t count = read(fd, text, sizeof text - 1);
  close(fd);
  if (count <= 0) return -1;
  text[count] = '\0';
  int running = -1;
  if (std::sscanf(text, "%*f %*f %*f %d/", &running) != 1) return -1;
  return running >= 0 ? running : -1;
}

// On a single processor: until the sender is the only task ready to run, at most
// YM_SHARED_WAIT_MS; YM_SHARED_PAUSE_MS where that cannot be known.
void WaitForTheProcessor() {
  uint32_t start = OsGetTickCount();
  for (;;) {
    int runnable = RunnableTasks();
    if (runnable < 0) {
      OsSleep(YM_SHARED_PAUSE_MS);
      return;
    }
    if (runnable <= 1 || OsGetTickCount() - start >= YM_SHARED_WAIT_MS) return;
    OsSleep(1);
  }
}

// Pauses before a send as the link requires, the longer pause where the send follows
// the receiver's request ('C') rather than its ACK or NAK; returns the time the send
// begins.
uint32_t PauseBeforeSend(bool afterRequest) {
  bool linkDelays = !LinkState.quickAnswer && LinkState.lateAnswers >= YM_DELAY_ANSWERS;
  if (!linkDelays) OsSleep(afterRequest ? YM_REQUEST_PAUSE_MS : YM_TURNAROUND_MS);
  if (LinkState.oneProcessor) WaitForTheProcessor();
  return OsGetTickCount();
}

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
  uint32_t sendFrom = PauseBeforeSend(true);
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
      sendFrom = PauseBeforeSend(true);
      if (SendHeaderBlock(remoteName, size) != 0) return ERR_SEND;
      sentAt = OsGetTickCount();
      acknowledged = false;
      continue;
    }
    if (OsGetTickCount() - sentAt > YM_WAIT_MS) return ERR_TIMEOUT;
    if (result == YM_ACK && !acknowledged) {
      TimeAnswer(sendFrom, sentAt);
      acknowledged = true;
    }
    if (result == YM_REQUEST && acknowledged) return 0;
  }
}

// Sends the file's contents from fd: 1024-byte blocks while more than 1024 bytes
// remain, then 128-byte blocks. A refused block goes again unchanged.
int SendData(int fd, uint32_t size, int* naks) {
  uint8_t data[YM_LONG_FIELD];
  uint32_t sent = 0;
  uint8_t number = 1;
  int answer = YM_REQUEST;  // the answer the next send follows
  while (sent < size) {
    uint32_t remaining = size - sent;
    uint32_t wanted = remaining > YM_LONG_FIELD    ? YM_LONG_FIELD
                      : remaining > YM_SHORT_FIELD ? YM_SHORT_FIELD
                                                   : remaining;
    ssize_t count = read(fd, data, wanted);
    if (count <= 0) return ERR_READ;
    uint32_t length = static_cast<uint32_t>(count);
    for (;;) {
      uint32_t sendFrom = PauseBeforeSend(answer == YM_REQUEST);
      int result = SendDataBlock(number, data, length);
      if (result < 0) return result;
      uint32_t sentAt = OsGetTickCount();
      answer = ReceiveByte();
      if (answer == YM_ACK) {
        TimeAnswer(sendFrom, sentAt);
        break;
      }
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
    uint32_t sendFrom = PauseBeforeSend(false);
    if (OsPortSend(UPLOAD_PORT, &eot, 1) != 0) return ERR_SEND;
    uint32_t sentAt = OsGetTickCount();
    int answer = ReceiveByte();
    if (answer == YM_ACK) {
      TimeAnswer(sendFrom, sentAt);
      return 0;
    }
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

int ProcessorCount = 0;
int (*RunnableTasks)() = RunnableFromLoad;

int SendFile(const char* path, const char* remoteName) {
  StartTiming();
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
  // its input right after writing it, so it may never arrive. Nor is this block ever sent
  // again, so it takes the pause after a request whatever the link has shown: lost, it
  // would leave the receiver asking for the next file for minutes (rb, ten times over
  // 111 s, then ending in error), though the file has arrived whole. On the emulated
  // board, whose answers come late enough to pass for a link's delay, rb lost it 3 times
  // in 30 uploads with the short pause.
  OsSleep(YM_REQUEST_PAUSE_MS);
  if (LinkState.oneProcessor) WaitForTheProcessor();
  return OsPortSend(UPLOAD_PORT, block, YM_SHORT_BLOCK) != 0 ? ERR_SEND : 0;
}
