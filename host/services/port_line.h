// A port's line: the setting given to OsPortOpen ("115200,8,n,1", parsed by
// ParsePortAttr in linux_services.h) and the termios that put a descriptor in raw mode.
#ifndef HOST_SERVICES_PORT_LINE_H
#define HOST_SERVICES_PORT_LINE_H

#include "host/services/linux_services.h"

namespace termsim {

// Raw mode on a descriptor, with the line settings of attr when given (else the
// descriptor's own speed and sizes). Returns 0 or a negative errno value.
int MakeRaw(int fd, const PortAttr* attr);

// Puts the terminal device at path into raw mode now, for the opens to come: the kernel
// keeps a device's settings from one open to the next, and a device left in the line
// discipline's defaults would echo back whatever the far end sends in the moment between
// a later open and that open's own settings (a receiver's request, say). Anything that is
// not a terminal is left as it is. Where `held` is given, a terminal stays open there, for
// the caller to keep: a USB gadget's serial port throws away what the far end sends while
// no one has it open, so a receiver started before an upload would lose the request it
// sends then, and send it again only after its time-out (10 s for lrzsz's rb). Returns 0
// or a negative errno value.
int MakeRawAhead(const char* path, int* held = nullptr);

// Makes a descriptor non-blocking. Returns 0 or a negative errno value.
int SetNonBlocking(int fd);

}  // namespace termsim

#endif
