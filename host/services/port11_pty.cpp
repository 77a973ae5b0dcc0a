// Port 11's pseudo-terminal.
#include "host/services/port11_pty.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/services/port11_link.h"
#include "host/services/port_line.h"

namespace termsim {
namespace {

// Opens port 11's pseudo-terminal pair and tells the user where the far end is.
void CreatePty(Port11& p) {
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
  p.ptyMaster = master;
  p.ptySlave = slave;
  p.peerPath = name;
  // The mark of a live port 11, for other programs that find a link to it.
  flock(slave, LOCK_EX | LOCK_NB);
  std::fprintf(stderr, "termsim: port 11 is %s (e.g. cd /some/dir && rb <%s >%s)\n", name, name,
               name);
  LinkPort11(name);
}

}  // namespace

void SettlePort11(Port11& port) {
  if (port.decided) return;
  port.decided = true;
  const char* device = std::getenv("TERMSIM_PORT11");
  if (device != nullptr && device[0] != '\0') {
    port.device = device;
    // Raw from the program's start, as a terminal keeps its port: a USB gadget's serial
    // port comes up echoing. And open from then on, so that what the far end sends between
    // uploads waits for the next: a gadget's port closed by all throws it away, and a
    // receiver started before an upload sends its request then.
    const int r = MakeRawAhead(device, &port.deviceHeld);
    if (r != 0) {
      std::fprintf(stderr, "termsim: port 11: %s: %s (an upload opens it again)\n", device,
                   std::strerror(-r));
    }
  } else {
    CreatePty(port);
  }
}

}  // namespace termsim
