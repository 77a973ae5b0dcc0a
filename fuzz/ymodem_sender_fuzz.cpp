// The YMODEM sender (SendFile, then EndBatch, as the upload worker calls them) against a
// receiver whose every answer, and the time it takes, comes from the fuzzer's bytes, on
// the fake port and the virtual clock. Checked on every input:
// - success (what makes the worker delete the log) only when every data byte was
//   acknowledged, block by block in order, the end of file was acknowledged, and the
//   batch was ended with an empty block 0 after the receiver asked for it;
// - no wait longer than about 31 s of virtual time between the sender's sends, its start
//   and its end (two 15 s waits back to back: the answer to EOT, then the next request);
// - at most 3 refusals (NAK) taken per file: at most 3 blocks sent again.
//
// The input: two bytes of file size (0 to 4999), then one instruction a poll of the
// port, each byte split as 3 bits of operation and 5 of argument (see Answer()). When
// the bytes run out the receiver falls silent. Time passes only as the sender's polls
// find nothing, each by its own length, as on the line.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "tests/fakes/fake_terminal_services.h"
#include "upload/file_transfer.h"
#include "upload/transfer_block.h"

namespace {

constexpr uint8_t CAN = 0x18;
constexpr uint32_t LONGEST_QUIET_MS = 31000;

// What passed on the line, in order: a send of the terminal's, or a byte it was given.
struct Event {
  bool sent;
  std::vector<uint8_t> bytes;
  uint32_t tick;
};

class FuzzedReceiver : public test::PortPeer {
 public:
  FuzzedReceiver(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  void OnSend(const uint8_t* data, size_t len) override {
    events_.push_back({true, std::vector<uint8_t>(data, data + len), test::Ticks()});
  }

  int OnRecv(uint8_t* buf, size_t len) override {
    if (pending_.empty()) {
      int result = Answer();
      if (result != 0) return result;
    }
    size_t n = 0;
    while (n < len && !pending_.empty()) {
      buf[n++] = pending_.front();
      pending_.pop_front();
    }
    if (n > 0) events_.push_back({false, std::vector<uint8_t>(buf, buf + n), test::Ticks()});
    return static_cast<int>(n);
  }

  const std::vector<Event>& events() const { return events_; }

 private:
  // One instruction: queues bytes to give, or returns 0 (nothing now) or -1 (an error).
  int Answer() {
    if (quietPolls_ > 0) {
      quietPolls_--;
      return 0;
    }
    if (at_ >= size_) return 0;  // silence once the script is over
    const uint8_t op = data_[at_] >> 5, arg = data_[at_] & 31;
    at_++;
    switch (op) {
      case 0:
        if (arg == 31) TransferAbort.store(1);
        if (arg == 30) return -1;  // a receive error of the port
        return 0;
      case 1: quietPolls_ = arg * 4; return 0;  // a slow receiver: up to 124 quiet polls
      case 2: pending_.push_back(YM_ACK); break;
      case 3: pending_.push_back(YM_NAK); break;
      case 4: pending_.push_back(YM_REQUEST); break;
      case 5: pending_.push_back(CAN); break;
      case 6:
        for (int i = 0; i <= arg % 8 && at_ < size_; i++) pending_.push_back(data_[at_++]);
        break;
      default: pending_.push_back(YM_ACK); pending_.push_back(YM_REQUEST); break;
    }
    return 0;
  }

  const uint8_t* data_;
  size_t size_;
  size_t at_ = 2;  // after the file size
  int quietPolls_ = 0;
  std::deque<uint8_t> pending_;
  std::vector<Event> events_;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

bool Has(const std::vector<uint8_t>& bytes, uint8_t byte) {
  for (uint8_t b : bytes) {
    if (b == byte) return true;
  }
  return false;
}

bool IsBlock(const std::vector<uint8_t>& s) {
  return (s.size() == YM_SHORT_BLOCK && s[0] == YM_SOH) ||
         (s.size() == YM_LONG_BLOCK && s[0] == YM_STX);
}

// Whether a byte was given after event i and before the terminal's next send.
bool AnsweredWith(const std::vector<Event>& events, size_t i, uint8_t byte) {
  for (size_t j = i + 1; j < events.size() && !events[j].sent; j++) {
    if (Has(events[j].bytes, byte)) return true;
  }
  return false;
}

void CheckWaits(const std::vector<Event>& events, uint32_t start, uint32_t end) {
  uint32_t last = start;
  for (const Event& e : events) {
    if (!e.sent) continue;
    if (e.tick - last > LONGEST_QUIET_MS) Fail("a wait of more than 31 s between sends");
    last = e.tick;
  }
  if (end - last > LONGEST_QUIET_MS) Fail("a wait of more than 31 s before the end");
}

// Resends in the file's part of the line (before the end of batch's block 0).
void CheckRefusals(const std::vector<Event>& events) {
  int again = 0;
  const std::vector<uint8_t>* previous = nullptr;
  for (const Event& e : events) {
    if (!e.sent) continue;
    if (previous != nullptr && *previous == e.bytes) again++;
    previous = &e.bytes;
  }
  if (again > 3) Fail("more than 3 refusals taken for one file");
}

// On success: the data acknowledged in order is the file, its EOT was acknowledged, and
// the batch ended with an empty block 0 sent after a request that followed that ACK.
void CheckSuccess(const std::vector<Event>& events, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> accepted;
  uint8_t expected = 1;
  bool headerAnswered = false, endAcknowledged = false, ended = false, requested = false;
  for (size_t i = 0; i < events.size(); i++) {
    const Event& e = events[i];
    if (!e.sent) {
      if (endAcknowledged && Has(e.bytes, YM_REQUEST)) requested = true;
      continue;
    }
    const std::vector<uint8_t>& s = e.bytes;
    if (IsBlock(s) && s[1] == 0 && s[2] == 0xFF) {
      bool empty = s[3] == 0;
      if (!empty) {
        if (!accepted.empty()) Fail("block 0 again after data");
        headerAnswered = AnsweredWith(events, i, YM_REQUEST);
      } else if (endAcknowledged && requested) {
        ended = true;
      }
    } else if (IsBlock(s)) {
      if (!headerAnswered && !file.empty()) Fail("data sent before the receiver asked for it");
      if (s[1] != expected && s[1] != static_cast<uint8_t>(expected - 1)) {
        Fail("a data block out of order");
      }
      if (s[1] == expected && AnsweredWith(events, i, YM_ACK)) {
        accepted.insert(accepted.end(), s.begin() + 3, s.end() - 2);
        expected++;
      }
    } else if (s.size() == 1 && s[0] == YM_EOT) {
      endAcknowledged = AnsweredWith(events, i, YM_ACK);
    }
  }
  if (accepted.size() < file.size() ||
      !std::equal(file.begin(), file.end(), accepted.begin())) {
    Fail("success without every data byte acknowledged in order");
  }
  if (!file.empty() && !endAcknowledged) Fail("success without the end of file acknowledged");
  if (!ended && !file.empty()) Fail("success without the batch ended after a request");
}

// The log, in a directory of the run's own, removed at the end.
struct LogDir {
  LogDir() {
    char pattern[] = "/tmp/ymodem-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    dir = pattern;
    path = dir + "/report.txt";
  }
  ~LogDir() {
    unlink(path.c_str());
    rmdir(dir.c_str());
  }
  std::string dir, path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  std::vector<uint8_t> file((data[0] | data[1] << 8) % 5000);
  for (size_t i = 0; i < file.size(); i++) file[i] = static_cast<uint8_t>(i * 7 ^ i >> 8);
  static LogDir log;
  const std::string& path = log.path;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  // An empty vector's data() may be null, which fwrite must not be given.
  if (f == nullptr || (!file.empty() && std::fwrite(file.data(), 1, file.size(), f) != file.size())) {
    std::abort();
  }
  std::fclose(f);

  test::Reset();
  FuzzedReceiver receiver(data, size);
  test::SetPeer(UPLOAD_PORT, &receiver);
  TransferAbort.store(0);
  OsPortOpen(UPLOAD_PORT, "115200,8,n,1");
  const uint32_t start = test::Ticks();
  int result = SendFile(path.c_str(), "r_T42_201710140905.txt");
  if (result > 0 && static_cast<size_t>(result) != file.size()) Fail("a size not the file's");
  if (result >= 0) result = EndBatch();
  const uint32_t end = test::Ticks();
  OsPortClose(UPLOAD_PORT);
  test::SetPeer(UPLOAD_PORT, nullptr);

  CheckWaits(receiver.events(), start, end);
  CheckRefusals(receiver.events());
  if (result >= 0) CheckSuccess(receiver.events(), file);
  return 0;
}
