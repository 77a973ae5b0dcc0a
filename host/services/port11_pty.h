// Port 11's device: the one TERMSIM_PORT11 names, or else a pseudo-terminal of the
// process's own, made at the first use of a port and kept for the process's life.
#ifndef HOST_SERVICES_PORT11_PTY_H
#define HOST_SERVICES_PORT11_PTY_H

#include <string>

namespace termsim {

struct Port11 {
  bool decided = false;
  std::string device;  // from TERMSIM_PORT11
  int deviceHeld = -1;  // that device, held open from the start (a terminal only)
  int ptyMaster = -1;
  int ptySlave = -1;  // held so the pseudo-terminal lives as long as the process
  std::string peerPath;
};

// Settles port 11's device once: the first call reads TERMSIM_PORT11 (putting a terminal
// device there into raw mode at once, and holding it open for the process's life) and,
// without a device there, makes the pseudo-terminal (holding and locking its slave,
// telling the user where the far end is, and making the link TERMSIM_PORT11_LINK asks
// for); later calls do nothing. The caller serialises the calls.
void SettlePort11(Port11& port);

}  // namespace termsim

#endif
