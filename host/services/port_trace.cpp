// Port 11's trace: one line per event, the bytes in hexadecimal (the first 32 of a block).
#include "host/services/port_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "host/common/host_clock.h"
#include "platform/terminal_services.h"

namespace termsim {
namespace {

constexpr int kShownBytes = 32;
// Only the upload worker uses port 11 while it is open; the descriptor is atomic for
// the reads of other threads that find the port closed.
std::atomic<int> gTraceFd{-1};
// The thread that opened port 11: its pauses are the upload's.
std::atomic<std::thread::id> gOpener{};

}  // namespace

void PortTraceOpen(int port) {
  const char* path = std::getenv("TERMSIM_PORT11_TRACE");
  if (port != UPLOAD_PORT || path == nullptr || path[0] == '\0') return;
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "termsim: TERMSIM_PORT11_TRACE=%s: %s; no trace\n", path,
                 std::strerror(errno));
    return;
  }
  gOpener.store(std::this_thread::get_id());
  gTraceFd.store(fd);
  PortTrace(port, "open", nullptr, 0);
}

void PortTraceClose(int port) {
  if (port != UPLOAD_PORT) return;
  const int fd = gTraceFd.exchange(-1);
  if (fd >= 0) close(fd);
}

void PortTracePause(uint32_t ms) {
  if (gTraceFd.load() < 0 || gOpener.load() != std::this_thread::get_id()) return;
  PortTrace(UPLOAD_PORT, "pause", nullptr, static_cast<int>(ms));
}

void PortTrace(int port, const char* what, const void* data, int count) {
  const int fd = gTraceFd.load();
  if (port != UPLOAD_PORT || fd < 0) return;
  char line[64 + 3 * kShownBytes + 8];
  const uint64_t ms = RealMs();
  int used = std::snprintf(line, sizeof line, "%llu.%03llu %s %d",
                           static_cast<unsigned long long>(ms / 1000),
                           static_cast<unsigned long long>(ms % 1000), what, count);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (int i = 0; bytes != nullptr && i < count && i < kShownBytes; ++i) {
    used += std::snprintf(line + used, sizeof line - static_cast<size_t>(used), "%s%02x",
                          i == 0 ? ": " : " ", bytes[i]);
  }
  if (bytes != nullptr && count > kShownBytes) {
    used += std::snprintf(line + used, sizeof line - static_cast<size_t>(used), " ...");
  }
  line[used++] = '\n';
  if (write(fd, line, static_cast<size_t>(used)) < 0) return;  // a lost line is no failure
}

}  // namespace termsim
