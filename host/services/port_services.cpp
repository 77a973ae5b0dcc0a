// Ports on the host: terminal devices driven through termios, and port 11 on a
// pseudo-terminal of the process's own unless TERMSIM_PORT11 names a device.
//
// Every port descriptor is non-blocking; waits are poll() calls bounded by the
// caller's time-out (receive), by the give-up time while the far end accepts
// nothing (send) or by the drain limit (close).
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "host/common/end_actions.h"
#include "host/services/linux_services.h"
#include "host/services/port_trace.h"
#include "host/common/host_clock.h"
#include "platform/terminal_services.h"

namespace {

using termsim::RealMs;
using termsim::SleepRealMs;

constexpr int kPortCount = 32;
constexpr uint32_t kCloseDrainStepMs = 10;

struct SpeedEntry {
  uint32_t bps;
  speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {1200, B1200},       {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000},
};

bool SpeedCode(uint32_t bps, speed_t* code) {
  for (const SpeedEntry& e : kSpeeds) {
    if (e.bps == bps) {
      *code = e.code;
      return true;
    }
  }
  return false;
}

struct PortSlot {
  int fd = -1;
  bool open = false;
  bool ownsFd = false;  // false for port 11's pseudo-terminal, which outlives a close
};

struct PortTable {
  std::mutex mutex;
  PortSlot slots[kPortCount];
  bool port11Decided = false;
  std::string port11Device;  // from TERMSIM_PORT11
  int ptyMaster = -1;
  int ptySlave = -1;  // held so the pseudo-terminal lives as long as the process
  std::string peerPath;
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

void MakeRawFlags(termios* t) {
  cfmakeraw(t);
  t->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t->c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t->c_cflag |= CLOCAL | CREAD;
  t->c_cc[VMIN] = 1;
  t->c_cc[VTIME] = 0;
}

// Raw mode on a descriptor, with the line settings of attr when given.
int MakeRaw(int fd, const termsim::PortAttr* attr) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return -errno;
  if (attr == nullptr) {
    MakeRawFlags(&t);
  } else if (!termsim::MakeRawTermios(*attr, &t)) {
    return -EINVAL;
  }
  if (tcsetattr(fd, TCSANOW, &t) != 0) return -errno;
  return 0;
}

int SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -errno;
  return 0;
}

// Port 11's link, kept for the end action that removes it: plain buffers, as a signal
// handler may read them.
char gLinkPath[4096];
char gLinkTarget[128];

bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// Removes the link, unless something else has been put in its place. Async-signal-safe.
void RemoveOwnLink() {
  char target[sizeof gLinkTarget];
  const ssize_t n = readlink(gLinkPath, target, sizeof target - 1);
  if (n <= 0) return;
  target[n] = '\0';
  if (SameText(target, gLinkTarget)) unlink(gLinkPath);
}

// Makes the link to port 11's pseudo-terminal that TERMSIM_PORT11_LINK asks for, and
// says what became of it.
void LinkPtyLocked(const char* name) {
  const char* link = std::getenv("TERMSIM_PORT11_LINK");
  if (link == nullptr || link[0] == '\0') return;
  if (std::strlen(link) >= sizeof gLinkPath || std::strlen(name) >= sizeof gLinkTarget) {
    std::fprintf(stderr, "termsim: port 11: TERMSIM_PORT11_LINK=%s is too long; no link made\n",
                 link);
    return;
  }
  bool replaced = false;
  const int r = termsim::MakePortLink(link, name, &replaced);
  if (r == -EBUSY) {
    std::fprintf(stderr,
                 "termsim: port 11: %s points at something in use, the port of another "
                 "program that runs, say; left alone, no link made\n",
                 link);
  } else if (r == -EEXIST) {
    std::fprintf(stderr, "termsim: port 11: %s is there and is no link; left alone, no link made\n",
                 link);
  } else if (r != 0) {
    std::fprintf(stderr, "termsim: port 11: no link at %s: %s\n", link, std::strerror(-r));
  } else {
    std::snprintf(gLinkPath, sizeof gLinkPath, "%s", link);
    std::snprintf(gLinkTarget, sizeof gLinkTarget, "%s", name);
    termsim::AddEndAction(RemoveOwnLink);
    if (replaced) {
      std::fprintf(stderr, "termsim: port 11: replaced %s, left by a program that has ended\n",
                   link);
    }
    std::fprintf(stderr, "termsim: port 11 is also %s\n", link);
  }
}

// Whether what an old link points at is still in use. Only a pseudo-terminal is looked
// into (a program holds a lock on its port 11 for as long as it runs): opening anything
// else could start a device, so whatever else is there counts as in use, and only a
// target that is gone counts as free.
bool LinkTargetInUse(const char* path) {
  char real[PATH_MAX];
  if (realpath(path, real) == nullptr) return errno != ENOENT && errno != ENOTDIR;
  struct stat st {};
  if (stat(real, &st) != 0) return true;
  if (std::strncmp(real, "/dev/pts/", 9) != 0 || !S_ISCHR(st.st_mode)) return true;
  const int fd = open(real, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != ENOENT && errno != ENXIO && errno != EIO;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);  // also drops the lock, if it was taken here
  return locked;
}

// Opens port 11's pseudo-terminal pair and tells the user where the far end is.
void CreatePtyLocked(PortTable& t) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) {
    std::fprintf(stderr, "termsim: port 11: no pseudo-terminal: %s\n", std::strerror(errno));
    return;
  }
  char name[128];
  int slave = -1;
  if (fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || grantpt(master) != 0 ||
      unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0 ||
      (slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0 ||
      SetNonBlocking(master) != 0 || MakeRaw(master, nullptr) != 0) {
    std::fprintf(stderr, "termsim: port 11: pseudo-terminal set-up failed: %s\n",
                 std::strerror(errno));
    if (slave >= 0) close(slave);
    close(master);
    return;
  }
  t.ptyMaster = master;
  t.ptySlave = slave;
  t.peerPath = name;
  // The mark of a live port 11, for other programs that find a link to it.
  flock(slave, LOCK_EX | LOCK_NB);
  std::fprintf(stderr, "termsim: port 11 is %s (e.g. cd /some/dir && rb <%s >%s)\n", name, name,
               name);
  LinkPtyLocked(name);
}

// Port 11's device is settled once per process, at the first use of a port.
void SettlePort11Locked(PortTable& t) {
  if (t.port11Decided) return;
  t.port11Decided = true;
  const char* device = std::getenv("TERMSIM_PORT11");
  if (device != nullptr && device[0] != '\0') {
    t.port11Device = device;
  } else {
    CreatePtyLocked(t);
  }
}

// The descriptor of an open port, or a negative errno value.
int OpenFd(int port) {
  if (port < 0 || port >= kPortCount) return -ENODEV;
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  SettlePort11Locked(t);
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

bool ParsePortAttr(const char* text, PortAttr* out) {
  if (text == nullptr || out == nullptr) return false;
  const char* s = text;
  uint32_t speed = 0;
  int digits = 0;
  while (*s >= '0' && *s <= '9') {
    if (++digits > 7) return false;
    speed = speed * 10u + static_cast<uint32_t>(*s - '0');
    ++s;
  }
  speed_t code = B0;
  if (digits == 0 || !SpeedCode(speed, &code) || *s++ != ',') return false;
  if (*s < '5' || *s > '8') return false;
  const int dataBits = *s++ - '0';
  if (*s++ != ',') return false;
  Parity parity;
  switch (*s++) {
    case 'n': case 'N': parity = PARITY_NONE; break;
    case 'e': case 'E': parity = PARITY_EVEN; break;
    case 'o': case 'O': parity = PARITY_ODD; break;
    default: return false;
  }
  if (*s++ != ',') return false;
  if (*s != '1' && *s != '2') return false;
  const int stopBits = *s++ - '0';
  if (*s != '\0') return false;
  out->speed = speed;
  out->dataBits = dataBits;
  out->parity = parity;
  out->stopBits = stopBits;
  return true;
}

bool MakeRawTermios(const PortAttr& attr, termios* t) {
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  speed_t code = B0;
  if (t == nullptr || !SpeedCode(attr.speed, &code) || attr.dataBits < 5 || attr.dataBits > 8) {
    return false;
  }
  MakeRawFlags(t);
  t->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
  t->c_cflag |= kSizes[attr.dataBits - 5];
  if (attr.parity != PARITY_NONE) t->c_cflag |= PARENB;
  if (attr.parity == PARITY_ODD) t->c_cflag |= PARODD;
  if (attr.stopBits == 2) t->c_cflag |= CSTOPB;
  return cfsetispeed(t, code) == 0 && cfsetospeed(t, code) == 0;
}

const char* Port11PeerPath() {
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  SettlePort11Locked(t);
  // peerPath is written once, before the first return, and never again.
  return t.peerPath.c_str();
}

std::string Port11Link() {
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  SettlePort11Locked(t);
  return gLinkPath;
}

void SetPortSendGiveUpMs(uint32_t ms) { g_sendGiveUpMs.store(ms); }
void SetPortCloseDrainMs(uint32_t ms) { g_closeDrainMs.store(ms); }

int PortInputPending(int port) {
  int fd = OpenFd(port);
  if (fd == -EBADF && port == UPLOAD_PORT) {
    PortTable& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.ptyMaster >= 0) fd = t.ptyMaster;
  }
  if (fd < 0) return fd;
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 ? n : -errno;
}
uint32_t PortSendGiveUpMs() { return g_sendGiveUpMs.load(); }

int MakePortLink(const char* link, const char* target, bool* replaced) {
  if (replaced != nullptr) *replaced = false;
  if (link == nullptr || target == nullptr || link[0] == '\0') return -EINVAL;
  struct stat st {};
  if (lstat(link, &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return -EEXIST;
    char old[4096];
    const ssize_t n = readlink(link, old, sizeof old - 1);
    if (n > 0) {
      old[n] = '\0';
      if (LinkTargetInUse(old)) return -EBUSY;
    }
    if (replaced != nullptr) *replaced = true;
  }
  // A new link beside the old one, renamed over it: never a moment without one.
  const std::string temp = std::string(link) + ".new";
  unlink(temp.c_str());
  if (symlink(target, temp.c_str()) != 0) return -errno;
  if (rename(temp.c_str(), link) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return -err;
  }
  return 0;
}

}  // namespace termsim

int OsPortOpen(int port, const char* attr) {
  termsim::PortAttr parsed;
  if (!termsim::ParsePortAttr(attr, &parsed)) return -EINVAL;
  if (port < 0 || port >= kPortCount) return -ENODEV;
  PortTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mutex);
  SettlePort11Locked(t);
  PortSlot& slot = t.slots[port];
  if (slot.open) return -EBUSY;
  int fd = -1;
  bool owns = true;
  if (port == UPLOAD_PORT && t.ptyMaster >= 0) {
    fd = t.ptyMaster;
    owns = false;
    // Bytes of an earlier upload that no receiver took are stale now; a receiver
    // attached for this upload must not read them before its block 0.
    tcflush(t.ptySlave, TCIFLUSH);
  } else {
    std::string device;
    if (port == UPLOAD_PORT) {
      device = t.port11Device;
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
  const int r = MakeRaw(fd, &parsed);
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
  SettlePort11Locked(t);
  PortSlot& slot = t.slots[port];
  if (!slot.open) return -EBADF;
  // Let the far end have what was sent, within limits: the last block of a
  // transfer is sent just before the close.
  const int ptySlave = slot.ownsFd ? -1 : t.ptySlave;
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
