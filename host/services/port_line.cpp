// A port's line setting and its termios.
#include "host/services/port_line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace termsim {
namespace {

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

void MakeRawFlags(termios* t) {
  cfmakeraw(t);
  t->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t->c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t->c_cflag |= CLOCAL | CREAD;
  t->c_cc[VMIN] = 1;
  t->c_cc[VTIME] = 0;
}

}  // namespace

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

int MakeRaw(int fd, const PortAttr* attr) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return -errno;
  if (attr == nullptr) {
    MakeRawFlags(&t);
  } else if (!MakeRawTermios(*attr, &t)) {
    return -EINVAL;
  }
  if (tcsetattr(fd, TCSANOW, &t) != 0) return -errno;
  return 0;
}

int MakeRawAhead(const char* path, int* held) {
  // Non-blocking, so that a line without its carrier does not hold the open.
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -errno;
  const bool terminal = isatty(fd);
  const int r = terminal ? MakeRaw(fd, nullptr) : 0;
  if (r == 0 && terminal && held != nullptr) {
    *held = fd;
  } else {
    close(fd);
  }
  return r;
}

int SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -errno;
  return 0;
}

}  // namespace termsim
