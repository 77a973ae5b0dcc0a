// A serial link between two pseudo-terminals, for timing YMODEM transfers: what one end
// writes reaches the other after a delay of the link's own, or at a line's rate, and the
// YMODEM traffic that crosses is timed.
//
//   ymodem_link NEAR FAR [--rate BPS] [--latency-us US] [--bits-per-byte N]
//
// NEAR and FAR become links to the two pseudo-terminals (the sender's end and the
// receiver's). With --rate each direction carries BPS bits a second, a byte taking
// --bits-per-byte bits (10 by default: 8N1), as on a serial line; with --latency-us each
// byte arrives that long after it was written, as through a USB link. Both together
// give a slow line with a delay; neither, a link that only adds its own reaction time.
// It runs at a real-time priority where it may, so that other programs' load does not
// slow the line itself.
//
// On SIGTERM or SIGINT it prints, for each file sent, the data's time: from the moment
// the first byte of the first data block reached the receiver to the moment the receiver
// wrote its ACK of the last data block, with the data blocks counted and how often a
// block was sent again. Then, over all frames, the spread of the sender's reaction (an
// answer's arrival to the start of the next block), of a block's crossing and of the
// receiver's reaction (a frame's arrival to its answer).
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr const char* kUsage =
    "usage: ymodem_link NEAR FAR [--rate BPS] [--latency-us US] [--bits-per-byte N]\n";

volatile sig_atomic_t gStop = 0;
void OnSignal(int) { gStop = 1; }

int64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Pty {
  int master = -1;
  int slave = -1;  // held, so that the master never sees the far side hang up
};

// A raw pseudo-terminal pair with a link to its slave at path; false with a message.
bool MakePty(const char* path, Pty* pty) {
  pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[128];
  if (pty->master < 0 || grantpt(pty->master) != 0 || unlockpt(pty->master) != 0 ||
      ptsname_r(pty->master, name, sizeof name) != 0) {
    std::fprintf(stderr, "ymodem_link: no pseudo-terminal: %s\n", std::strerror(errno));
    return false;
  }
  pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  if (pty->slave < 0 || tcgetattr(pty->slave, &t) != 0) {
    std::fprintf(stderr, "ymodem_link: %s: %s\n", name, std::strerror(errno));
    return false;
  }
  cfmakeraw(&t);
  tcsetattr(pty->slave, TCSANOW, &t);
  tcgetattr(pty->master, &t);
  cfmakeraw(&t);
  tcsetattr(pty->master, TCSANOW, &t);
  const std::string temp = std::string(path) + ".new";
  unlink(temp.c_str());
  if (symlink(name, temp.c_str()) != 0 || rename(temp.c_str(), path) != 0) {
    std::fprintf(stderr, "ymodem_link: cannot link %s to %s: %s\n", path, name,
                 std::strerror(errno));
    return false;
  }
  return true;
}

// One direction of the link: bytes read from one master, written to the other once due.
struct Byte {
  int64_t read;  // when the link took it from the writing side (ns)
  int64_t due;   // when it reaches the other side
  uint8_t value;
};
struct Direction {
  int from = -1;
  int to = -1;
  std::deque<Byte> queue;
  int64_t lineFree = 0;  // when the line can start the next byte
  bool blocked = false;  // the other side took none of the last due bytes
};

// The YMODEM traffic as the receiver's end sees it: frames from the sender, answers to it.
struct Timing {
  struct File {
    std::string name;
    uint64_t size = 0;  // as block 0 gives it
    int64_t dataStart = -1;
    int64_t dataEnd = -1;  // the receiver's ACK of the last data block
    bool ended = false;    // the receiver acknowledged the end of file
    int blocks = 0;
    int resent = 0;
    uint64_t bytes = 0;  // of data blocks, as sent (blocks sent again included)
  };
  std::vector<File> files;
  std::vector<int64_t> reactions;  // ns from an answer's arrival to the next block's start
  std::vector<int64_t> answers;    // ns from a frame's last byte to the receiver's answer
  std::vector<int64_t> crossings;  // ns from a block's first byte written to its last arrived

  // Sender to receiver: frame parsing.
  std::vector<uint8_t> frame;
  size_t frameSize = 0;
  int lastNumber = -1;
  bool eotPending = false;
  bool blockPending = false;  // a data block has arrived, its answer not yet
  int64_t frameStart = 0;
  int64_t frameWritten = 0;
  int64_t frameEnd = -1;  // a frame's last byte reached the receiver, not yet answered
  // Receiver to sender: the last answer's arrival, until a block follows it.
  int64_t answerAt = -1;

  // A byte of the sender's, written by it at `written`, reaching the receiver `at`.
  void FromSender(uint8_t byte, int64_t written, int64_t at) {
    if (frameSize == 0) {
      if (byte == kSoh || byte == kStx) {
        frameSize = byte == kSoh ? 133 : 1029;
        frame.assign(1, byte);
        if (answerAt >= 0) reactions.push_back(written - answerAt);
        answerAt = -1;
        frameStart = at;
        frameWritten = written;
      } else if (byte == kEot) {
        eotPending = true;
        answerAt = -1;
        frameEnd = at;
      }
      return;
    }
    frame.push_back(byte);
    if (frame.size() < frameSize) return;
    frameSize = 0;
    frameEnd = at;
    crossings.push_back(at - frameWritten);
    const int number = frame[1];
    if (number == 0 && lastNumber <= 0) {
      // The data field: the name, a zero byte, the size in decimal, zeros.
      const std::string field(frame.begin() + 3, frame.end() - 2);
      const std::string name = field.substr(0, field.find('\0'));
      if (!name.empty() && (files.empty() || files.back().name != name || lastNumber != 0)) {
        files.push_back(File{});
        files.back().name = name;
        if (name.size() < field.size()) {
          files.back().size = std::strtoull(field.c_str() + name.size() + 1, nullptr, 10);
        }
      }
      lastNumber = 0;
      return;
    }
    if (files.empty()) return;
    File& file = files.back();
    if (file.dataStart < 0) file.dataStart = frameStart;
    ++file.blocks;
    if (number == lastNumber) ++file.resent;
    file.bytes += frame.size() - 5;
    lastNumber = number;
    blockPending = true;
  }

  // A byte of the receiver's, written by it at `written`, reaching the sender `at`.
  void FromReceiver(uint8_t byte, int64_t written, int64_t at) {
    answerAt = at;
    if (frameEnd >= 0) answers.push_back(written - frameEnd);
    frameEnd = -1;
    if (byte == kAck && blockPending && !files.empty()) files.back().dataEnd = written;
    blockPending = false;
    if (byte == kAck && eotPending && !files.empty()) {
      files.back().ended = true;
      eotPending = false;
      lastNumber = -1;
    }
  }
};

void Spread(const char* what, std::vector<int64_t> r) {
  if (r.empty()) return;
  std::sort(r.begin(), r.end());
  auto at = [&r](double q) {
    return static_cast<double>(r[static_cast<size_t>(q * static_cast<double>(r.size() - 1))]) / 1e6;
  };
  std::printf("%s: median %.3f ms, 99th percentile %.3f ms, largest %.3f ms (%zu)\n", what,
              at(0.5), at(0.99), at(1.0), r.size());
}

void Report(const Timing& timing) {
  for (const Timing::File& file : timing.files) {
    if (file.dataStart < 0 || file.dataEnd < 0 || !file.ended) {
      std::printf("file %s: not completed\n", file.name.c_str());
      continue;
    }
    const double seconds = static_cast<double>(file.dataEnd - file.dataStart) / 1e9;
    std::printf("file %s: %llu bytes, data %.4f s, %.0f B/s, %d blocks (%llu bytes), %d sent again\n",
                file.name.c_str(), static_cast<unsigned long long>(file.size), seconds,
                static_cast<double>(file.size) / seconds, file.blocks,
                static_cast<unsigned long long>(file.bytes), file.resent);
  }
  Spread("sender's reaction (an answer's arrival to the next block)", timing.reactions);
  Spread("block's crossing (its first byte written to its last arrived)", timing.crossings);
  Spread("receiver's reaction (a frame's arrival to the answer)", timing.answers);
  std::fflush(stdout);
}

bool ParseNumber(const char* text, long min, long max, long* out) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < min || value > max) return false;
  *out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long rate = 0;
  long latencyUs = 0;
  long bitsPerByte = 10;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    long* target = arg == "--rate"            ? &rate
                   : arg == "--latency-us"    ? &latencyUs
                   : arg == "--bits-per-byte" ? &bitsPerByte
                                              : nullptr;
    if (target != nullptr) {
      if (i + 1 >= argc || !ParseNumber(argv[++i], 1, 100000000, target)) {
        std::fprintf(stderr, "ymodem_link: %s needs a positive number\n", arg.c_str());
        return 2;
      }
    } else if (arg.rfind("--", 0) == 0 || paths.size() == 2) {
      std::fprintf(stderr, "%s", kUsage);
      return 2;
    } else {
      paths.push_back(argv[i]);
    }
  }
  if (paths.size() != 2) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  // Wake-ups on time, as a line's hardware keeps it: no timer slack, and, where allowed,
  // a real-time priority (the link sleeps but for moments), so that other programs'
  // load does not slow the line itself.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  sched_param priority{};
  priority.sched_priority = 1;
  sched_setscheduler(0, SCHED_FIFO, &priority);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  Pty near, far;
  if (!MakePty(paths[0], &near) || !MakePty(paths[1], &far)) return 1;
  const int64_t byteNs = rate > 0 ? bitsPerByte * 1000000000LL / rate : 0;
  const int64_t latencyNs = latencyUs * 1000;
  Direction dirs[2];
  dirs[0].from = near.master;  // the sender's bytes, toward the receiver
  dirs[0].to = far.master;
  dirs[1].from = far.master;
  dirs[1].to = near.master;
  Timing timing;

  uint8_t buffer[4096];
  while (!gStop) {
    int64_t now = NowNs();
    // Bytes that are due go out; a full pseudo-terminal keeps them queued.
    int64_t next = -1;
    for (int d = 0; d < 2; ++d) {
      Direction& dir = dirs[d];
      size_t due = 0;
      while (due < dir.queue.size() && dir.queue[due].due <= now && due < sizeof buffer) {
        buffer[due] = dir.queue[due].value;
        ++due;
      }
      dir.blocked = false;
      if (due > 0) {
        const ssize_t n = write(dir.to, buffer, due);
        const int64_t at = NowNs();
        for (ssize_t k = 0; k < n; ++k) {
          const Byte& byte = dir.queue[static_cast<size_t>(k)];
          if (d == 0) timing.FromSender(byte.value, byte.read, at);
          else timing.FromReceiver(byte.value, byte.read, at);
        }
        if (n > 0) dir.queue.erase(dir.queue.begin(), dir.queue.begin() + n);
        dir.blocked = n <= 0;
      }
      if (!dir.blocked && !dir.queue.empty() && (next < 0 || dir.queue.front().due < next)) {
        next = dir.queue.front().due;
      }
    }
    // Input from both sides; room on a side that could take nothing.
    pollfd fds[2] = {{near.master, POLLIN, 0}, {far.master, POLLIN, 0}};
    if (dirs[1].blocked) fds[0].events |= POLLOUT;  // toward the sender, near's master
    if (dirs[0].blocked) fds[1].events |= POLLOUT;
    now = NowNs();
    timespec wait{};
    const timespec* timeout = nullptr;
    if (next >= 0) {
      const int64_t ns = std::max<int64_t>(0, next - now);
      wait.tv_sec = static_cast<time_t>(ns / 1000000000);
      wait.tv_nsec = static_cast<long>(ns % 1000000000);
      timeout = &wait;
    }
    const int r = ppoll(fds, 2, timeout, nullptr);
    if (r < 0 && errno != EINTR) {
      std::fprintf(stderr, "ymodem_link: poll: %s\n", std::strerror(errno));
      return 1;
    }
    if (r <= 0) continue;
    const int64_t at = NowNs();
    for (int d = 0; d < 2; ++d) {
      if ((fds[d].revents & POLLIN) == 0) continue;
      Direction& dir = dirs[d];
      const ssize_t n = read(dir.from, buffer, sizeof buffer);
      for (ssize_t k = 0; k < n; ++k) {
        int64_t due = at + latencyNs;
        if (byteNs > 0) {
          // The byte starts on the line once the line is free, and arrives when its
          // last bit has crossed, after the link's delay.
          const int64_t start = std::max(at, dir.lineFree);
          dir.lineFree = start + byteNs;
          due = dir.lineFree + latencyNs;
        }
        dir.queue.push_back(Byte{at, due, buffer[k]});
      }
    }
  }
  Report(timing);
  unlink(paths[0]);
  unlink(paths[1]);
  return 0;
}
