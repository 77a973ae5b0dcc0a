// Ports on the host: the Os* port calls, on terminal devices driven through termios, and
// on port 11's pseudo-terminal unless TERMSIM_PORT11 names a device (port11_pty.h).
//
// Every port descriptor is non-blocking; waits are poll() calls bounded by the
// caller's time-out (receive), by the give-up time while the far end accepts
// nothing (send) or by the drain limit (close).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "host/common/host_clock.h"
#include "host/services/linux_services.h"
#include "host/services/port11_link.h"
#include "host/services/port11_pty.h"
#include "host/services/port_line.h"
#include "host/services/port_trace.h"
#include "platform/terminal_services.h"

namespace {

using termsim::RealMs;
using termsim::SleepRealMs;

constexpr int kPortCount = 32;
constexpr uint32_t kCloseDrainStepMs = 10;

struct PortSlot {
  int fd = -1;
  bool open = false;
  bool ownsFd = false;  // false for port 11's pseudo-terminal, which outlives a close
};

struct PortTable {
  std::mutex mutex;
  PortSlot slots[kPortCount];
  termsim::Port11 port11;
};

PortTable& Table() {
  static PortTable table;
  return table;
}

std::atomic<uint32_t> g_sendGiveUpMs{5000};
// How long a close waits for the far end to take the bytes already sent.
std::atomic<uint32_t> g_closeDrainMs{2000};

// A poll() time-out for a wait of ms; longer waits are made of several polls.
int PollMs(uint64_t ms) { return ms > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(ms); }

// The descriptor of an open port, or a negative errno value.
int OpenFd(int port) {
  if (port < 0 || port >= kPortCount) return -ENODEV;
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  termsim::SettlePort11(t.port11);
  const PortSlot& slot = t.slots[port];
  return slot.open ? slot.fd : -EBADF;
}

// Bytes still queued toward the far end of a port (0 once it has them all). On
// the pseudo-terminal, bytes written a moment ago may not be counted yet; they
// are not lost, since the pseudo-terminal outlives every close.
int PendingOutput(int fd, int ptySlave) {
  int n = 0;
  // On the pseudo-terminal the bytes not yet read wait in the slave's input.
  const int r = ptySlave >= 0 ? ioctl(ptySlave, FIONREAD, &n) : ioctl(fd, TIOCOUTQ, &n);
  return r == 0 ? n : 0;
}

}  // namespace

namespace termsim {

const char* Port11PeerPath() {
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  termsim::SettlePort11(t.port11);
  // peerPath is written once, before the first return, and never again.
  return t.port11.peerPath.c_str();
}

std::string Port11Link() {
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  termsim::SettlePort11(t.port11);
  return Port11LinkMade();
}

void SetPortSendGiveUpMs(uint32_t ms) { g_sendGiveUpMs.store(ms); }
void SetPortCloseDrainMs(uint32_t ms) { g_closeDrainMs.store(ms); }

int PortInputPending(int port) {
  int fd = OpenFd(port);
  if (fd == -EBADF && port == UPLOAD_PORT) {
    PortTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.port11.ptyMaster >= 0) fd = t.port11.ptyMaster;
  }
  if (fd < 0) return fd;
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 ? n : -errno;
}
uint32_t PortSendGiveUpMs() { return g_sendGiveUpMs.load(); }

}  // namespace termsim

int OsPortOpen(int port, const char* attr) {
  termsim::PortAttr parsed;
  if (!termsim::ParsePortAttr(attr, &parsed)) return -EINVAL;
  if (port < 0 || port >= kPortCount) return -ENODEV;
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  termsim::SettlePort11(t.port11);
  PortSlot& slot = t.slots[port];
  if (slot.open) return -EBUSY;
  int fd = -1;
  bool owns = true;
  if (port == UPLOAD_PORT && t.port11.ptyMaster >= 0) {
    fd = t.port11.ptyMaster;
    owns = false;
    // Bytes of an earlier upload that no receiver took are stale now; a receiver
    // attached for this upload must not read them before its block 0.
    tcflush(t.port11.ptySlave, TCIFLUSH);
  } else {
    std::string device;
    if (port == UPLOAD_PORT) {
      device = t.port11.device;
    } else {
      const std::string var = "TERMSIM_PORT" + std::to_string(port);
      const char* v = std::getenv(var.c_str());
      if (v != nullptr) device = v;
    }
    if (device.empty()) return -ENODEV;
    fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
  }
  // What arrived before the open is kept, on every kind of port: a receiver started
  // first has sent its request already and does not repeat it for seconds. The sender
  // looks only for that request and clears the line once it has it, so older bytes
  // (noise on a serial line, answers a receiver sent after an earlier upload) do no harm.
  const int r = termsim::MakeRaw(fd, &parsed);
  if (r != 0) {
    if (owns) close(fd);
    return r;
  }
  slot.fd = fd;
  slot.open = true;
  slot.ownsFd = owns;
  // A peer on the line answers in real time: so does the program while the port is open.
  termsim::HoldRealRate();
  termsim::PortTraceOpen(port);
  return 0;
}

int OsPortClose(int port) {
  if (port < 0 || port >= kPortCount) return -ENODEV;
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  termsim::SettlePort11(t.port11);
  PortSlot& slot = t.slots[port];
  if (!slot.open) return -EBADF;
  // Let the far end have what was sent, within limits: the last block of a
  // transfer is sent just before the close.
  const int ptySlave = slot.ownsFd ? -1 : t.port11.ptySlave;
  const uint64_t start = RealMs();
  const uint64_t drainMs = g_closeDrainMs.load();
  while (PendingOutput(slot.fd, ptySlave) > 0 && RealMs() - start < drainMs) {
    SleepRealMs(kCloseDrainStepMs);
  }
  if (slot.ownsFd) {
    // A far end that took nothing for that long is not waited for again by close().
    if (PendingOutput(slot.fd, -1) > 0) tcflush(slot.fd, TCOFLUSH);
    close(slot.fd);
  }
  // The pseudo-terminal keeps unread bytes for a receiver that attaches later.
  slot = PortSlot();
  termsim::ReleaseRealRate();
  termsim::PortTrace(port, "close", nullptr, 0);
  termsim::PortTraceClose(port);
  return 0;
}

int OsPortReset(int port) {
  const int fd = OpenFd(port);
  if (fd < 0) return fd;
  const int result = tcflush(fd, TCIFLUSH) == 0 ? 0 : -errno;
  termsim::PortTrace(port, "reset", nullptr, result);
  return result;
}

namespace {

int SendBytes(int port, const void* data, uint32_t len) {
  const int fd = OpenFd(port);
  if (fd < 0) return fd;
  if (len == 0) return 0;
  if (data == nullptr) return -EINVAL;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t left = len;
  const uint64_t giveUp = g_sendGiveUpMs.load();
  uint64_t lastProgress = RealMs();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n > 0) {
      p += n;
      left -= static_cast<size_t>(n);
      lastProgress = RealMs();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -errno;
    const uint64_t waited = RealMs() - lastProgress;
    if (waited >= giveUp) return -ETIMEDOUT;
    pollfd pfd{fd, POLLOUT, 0};
    const int r = poll(&pfd, 1, PollMs(giveUp - waited));
    if (r < 0 && errno != EINTR) return -errno;
    if (r > 0 && (pfd.revents & POLLNVAL) != 0) return -EBADF;
    if (r > 0 && (pfd.revents & (POLLERR | POLLHUP)) != 0 && (pfd.revents & POLLOUT) == 0) {
      return -EIO;  // the far end is gone for good
    }
  }
  return 0;
}

int ReceiveBytes(int port, void* buf, uint32_t len, uint32_t ms) {
  const int fd = OpenFd(port);
  if (fd < 0) return fd;
  if (buf == nullptr) return -EINVAL;
  if (len == 0) return 0;
  // A result must fit an int.
  const size_t want = len > 0x7FFFFFFFu ? 0x7FFFFFFFu : len;
  const uint64_t deadline = RealMs() + ms;
  for (;;) {
    const uint64_t now = RealMs();
    const int wait = now >= deadline ? 0 : PollMs(deadline - now);
    pollfd pfd{fd, POLLIN, 0};
    const int r = poll(&pfd, 1, wait);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (r == 0) return 0;
    if ((pfd.revents & POLLNVAL) != 0) return -EBADF;
    bool hungUp = (pfd.revents & POLLIN) == 0;
    if (!hungUp) {
      const ssize_t n = read(fd, buf, want);
      if (n > 0) return static_cast<int>(n);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n < 0 && errno != EIO) return -errno;
      hungUp = true;  // end of file or EIO: the far end has gone
    }
    // Nothing can arrive on a hung-up line until it comes back: wait out the
    // time-out rather than spin, and report that nothing came.
    const uint64_t after = RealMs();
    if (after < deadline) SleepRealMs(deadline - after);
    return 0;
  }
}

}  // namespace

int OsPortSend(int port, const void* data, uint32_t len) {
  const int result = SendBytes(port, data, len);
  termsim::PortTrace(port, "sent", data, result == 0 ? static_cast<int>(len) : result);
  return result;
}

int OsPortRecv(int port, void* buf, uint32_t len, uint32_t ms) {
  const int result = ReceiveBytes(port, buf, len, ms);
  if (result != 0) termsim::PortTrace(port, "received", buf, result);
  return result;
}
