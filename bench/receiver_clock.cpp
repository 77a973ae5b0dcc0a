// A clock inside a YMODEM receiver such as lrzsz's rb, loaded into it with LD_PRELOAD:
// it times each answer the receiver writes to its standard output (write, or fflush of
// stdout, as rb writes) and the clearing of its input that follows (tcflush, or ioctl
// TCFLSH, with TCIFLUSH), and counts the bytes that clearing throws away.
//
//   RECEIVER_CLOCK_LOG=FILE   appends one line per answer to FILE:
//                             WRITE_START WRITE_END CLEAR_START CLEAR_END WAITING BYTE
//                             (nanoseconds of CLOCK_MONOTONIC; WAITING: the bytes waiting
//                             in the input when it was cleared; BYTE: the answer's first)
//   RECEIVER_KEEP_INPUT=1     skips the clearing: a receiver that never clears its input
//
// The lines are kept in memory while the receiver runs and written when it ends (or when
// the memory is full), so that timing them costs it nothing but the clock's reads.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Answer {
  uint64_t writeStart, writeEnd, clearStart, clearEnd;
  int waiting;
  int byte;
};

constexpr int kKept = 1 << 14;
Answer gAnswers[kKept];
int gCount = 0;
Answer gPending{};         // the last answer written, until its clearing
bool gHavePending = false;

using WriteFn = ssize_t (*)(int, const void*, size_t);
using FflushFn = int (*)(FILE*);
using IoctlFn = int (*)(int, unsigned long, ...);
using TcflushFn = int (*)(int, int);

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

WriteFn RealWrite() {
  static WriteFn fn = Next<WriteFn>("write");
  return fn;
}
IoctlFn RealIoctl() {
  static IoctlFn fn = Next<IoctlFn>("ioctl");
  return fn;
}

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// Appends the kept answers to the log and forgets them.
void WriteOut() {
  const char* path = std::getenv("RECEIVER_CLOCK_LOG");
  if (path == nullptr || path[0] == '\0' || gCount == 0) {
    gCount = 0;
    return;
  }
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    gCount = 0;
    return;
  }
  char line[160];
  for (int i = 0; i < gCount; ++i) {
    const Answer& a = gAnswers[i];
    const int n = std::snprintf(line, sizeof line, "%llu %llu %llu %llu %d %d\n",
                                static_cast<unsigned long long>(a.writeStart),
                                static_cast<unsigned long long>(a.writeEnd),
                                static_cast<unsigned long long>(a.clearStart),
                                static_cast<unsigned long long>(a.clearEnd), a.waiting, a.byte);
    if (n > 0 && RealWrite()(fd, line, static_cast<size_t>(n)) < 0) break;
  }
  close(fd);
  gCount = 0;
}

struct AtEnd {
  ~AtEnd() { WriteOut(); }
} gAtEnd;

// Clears the input of fd with clear(), timed, unless the input is to be kept.
int ClearInput(int fd, int (*clear)(int)) {
  static const bool keep = std::getenv("RECEIVER_KEEP_INPUT") != nullptr &&
                           std::getenv("RECEIVER_KEEP_INPUT")[0] == '1';
  int waiting = 0;
  RealIoctl()(fd, FIONREAD, &waiting);
  const uint64_t start = NowNs();
  const int result = keep ? 0 : clear(fd);
  const uint64_t end = NowNs();
  if (gHavePending) {
    gPending.clearStart = start;
    gPending.clearEnd = end;
    gPending.waiting = waiting;
    if (gCount == kKept) WriteOut();
    gAnswers[gCount++] = gPending;
    gHavePending = false;
  }
  return result;
}

int IoctlFlush(int fd) { return RealIoctl()(fd, TCFLSH, TCIFLUSH); }
int TcflushInput(int fd) {
  static TcflushFn fn = Next<TcflushFn>("tcflush");
  return fn(fd, TCIFLUSH);
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  if (fd != STDOUT_FILENO || size == 0) return RealWrite()(fd, data, size);
  const uint64_t start = NowNs();
  const ssize_t result = RealWrite()(fd, data, size);
  gPending = Answer{start, NowNs(), 0, 0, 0, static_cast<const unsigned char*>(data)[0]};
  gHavePending = true;
  return result;
}

// stdio's own writes do not come through write() above.
extern "C" int fflush(FILE* stream) {
  static FflushFn real = Next<FflushFn>("fflush");
  if (stream != stdout || __fpending(stdout) == 0) return real(stream);
  const int byte = static_cast<unsigned char>(stdout->_IO_write_base[0]);  // glibc's FILE
  const uint64_t start = NowNs();
  const int result = real(stream);
  gPending = Answer{start, NowNs(), 0, 0, 0, byte};
  gHavePending = true;
  return result;
}

extern "C" int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  // An int argument fills only the low half of a 64-bit argument's place.
  if (request == TCFLSH && static_cast<int>(reinterpret_cast<intptr_t>(argument)) == TCIFLUSH) {
    return ClearInput(fd, IoctlFlush);
  }
  return RealIoctl()(fd, request, argument);
}

extern "C" int tcflush(int fd, int queue) {
  if (queue == TCIFLUSH) return ClearInput(fd, TcflushInput);
  static TcflushFn fn = Next<TcflushFn>("tcflush");
  return fn(fd, queue);
}
