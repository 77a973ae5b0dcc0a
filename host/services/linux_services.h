// Host terminal services on an ordinary Linux PC: what the PC build adds to the
// terminal services for the program's users, the run script and the tests.
//
// The system's own code sees only platform/terminal_services.h. The host
// implementation behind it is configured through the environment:
//
//   TERMSIM_PROPS             Directory of the property store, one file per key
//                             holding the value (a trailing newline is ignored).
//                             Default: $XDG_STATE_HOME/termsim/props, else
//                             $HOME/.local/state/termsim/props, else
//                             /tmp/termsim/props. Created on the first write.
//                             Seed the model with: echo MODEL > DIR/ro.fac.mach
//   TERMSIM_PORT11            Device used as port 11 (the upload port), e.g. a USB
//                             serial adapter /dev/ttyUSB0 or a /dev/pts/N. When
//                             unset, a program opens a pseudo-terminal pair of its
//                             own when it starts (a test, when it first asks for
//                             Port11PeerPath), uses the master as port 11, keeps the
//                             slave open and locked for its whole life and prints the
//                             slave's path on stderr, e.g.
//                               termsim: port 11 is /dev/pts/7 (e.g. cd DIR && rb </dev/pts/7 >/dev/pts/7)
//                             A receiver can attach to that path, detach and attach
//                             again between uploads.
//   TERMSIM_PORT11_LINK       With the pseudo-terminal: also make a symbolic link at
//                             this path pointing to the slave, removed again when
//                             the program ends. A link left there by a program that
//                             has ended is replaced; one to the port of a program
//                             that runs, and anything that is not a link, are left
//                             alone (the program then goes on without a link).
//   TERMSIM_PORT<n>           Device used as port n (0 to 31) other than 11; such a
//                             port exists only when its variable is set.
//   TERMSIM_POWER_SUPPLY_DIR  Root of the power-supply class read by
//                             OsCheckPowerSupply and OsCheckBattery.
//                             Default: /sys/class/power_supply.
//   TERMSIM_TIME_SCALE        The program's ticks, calendar clock and sleeps run N
//                             times faster (host/common/host_clock.h).
//   TERMSIM_BACKLIGHT_DIR     Root of the backlight class written by
//                             OsScrBrightness. Default: /sys/class/backlight.
//
// Error results of the host services are negative errno values (-EINVAL for a
// bad argument, -ENODEV for a port without a device, -EBUSY for a port already
// open, -ETIMEDOUT for a send that made no progress, ...).
#ifndef HOST_SERVICES_LINUX_SERVICES_H
#define HOST_SERVICES_LINUX_SERVICES_H

#include <termios.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace termsim {

// ---- Properties ------------------------------------------------------------

// The directory OsRegGetValue / OsRegSetValue use now (see TERMSIM_PROPS above).
std::string PropertiesDir();
// True for a key that names a file directly inside the store: not empty, no '/',
// not starting with '.', at most 200 bytes.
bool IsValidPropertyKey(const char* key);
// The property store in the given directory; OsRegGetValue / OsRegSetValue are
// these with PropertiesDir(). value holds 64 bytes (OS_REG_VALUE_SIZE); a stored
// value is cut to its first 63 bytes.
int ReadProperty(const std::string& dir, const char* key, char* value);
int WriteProperty(const std::string& dir, const char* key, const char* value);

// ---- Ports -----------------------------------------------------------------

enum Parity : char { PARITY_NONE = 'n', PARITY_EVEN = 'e', PARITY_ODD = 'o' };

// A port's line settings as given to OsPortOpen: "speed,data bits,parity,stop bits".
struct PortAttr {
  uint32_t speed = 0;     // bits per second, one of 1200 ... 4000000
  int dataBits = 0;       // 5 to 8
  Parity parity = PARITY_NONE;
  int stopBits = 0;       // 1 or 2
};

// Parses e.g. "115200,8,n,1" or "9600,7,E,2" (parity n, e or o in either case).
// Returns false, leaving *out unchanged, for anything else: unknown speed, missing
// or extra fields, spaces, signs, trailing characters.
bool ParsePortAttr(const char* text, PortAttr* out);

// Puts *t in raw mode (8-bit clean, no echo, no signals, no CR/LF mapping, no
// flow control, CLOCAL | CREAD) with the line settings of attr. Returns false
// for a speed ParsePortAttr would not accept.
bool MakeRawTermios(const PortAttr& attr, termios* t);

// The slave side of port 11's pseudo-terminal, for a receiver to attach to.
// Creates the pseudo-terminal if that has not happened yet. Empty when port 11
// is a device named by TERMSIM_PORT11, or when no pseudo-terminal could be made.
const char* Port11PeerPath();
// The link made at TERMSIM_PORT11_LINK for it, or "" when none was made.
std::string Port11Link();

// How long OsPortSend keeps trying while the far end accepts nothing, in ms
// (default 5000). After that it gives up with -ETIMEDOUT.
void SetPortSendGiveUpMs(uint32_t ms);
uint32_t PortSendGiveUpMs();
// Bytes received on an open port, or on port 11's pseudo-terminal also while it is
// closed, and not yet read; or a negative errno value.
int PortInputPending(int port);

// How long OsPortClose waits for the far end to take what was sent, in ms (default
// 2000). After that a device's unsent bytes are dropped; the pseudo-terminal keeps
// them for a receiver that attaches later.
void SetPortCloseDrainMs(uint32_t ms);

// Makes the symbolic link `link` pointing to `target`. A link already there is replaced
// (*replaced tells) when what it points at is gone, or is a pseudo-terminal that no
// program holds as its port 11; otherwise (another program's port, anything that is
// not a pseudo-terminal) it is left alone and gives -EBUSY. An entry that is not a
// symbolic link is left alone and gives -EEXIST.
// Returns 0 or a negative errno value.
int MakePortLink(const char* link, const char* target, bool* replaced = nullptr);

// ---- Power source, battery, backlight --------------------------------------

// The power source under a power-supply class root: 1 when a Mains supply is
// online, else 2 when a USB supply is online, else 3 when a battery is present,
// else 0. Unreadable or malformed entries count as absent.
int PowerSourceIn(const std::string& root);
// The terminal's coarse battery level for the first present battery under root,
// from its capacity in percent (see LevelForCapacity) or, without a usable
// capacity, from capacity_level (Critical 0, Low 1, Normal 3, High 4, Full 6).
// 0 when there is no such battery.
int BatteryLevelIn(const std::string& root);
// Battery level for a capacity in percent:
//   below 10 -> 0, 10-29 -> 1, 30-54 -> 2, 55-79 -> 3, 80-94 -> 4, 95 and up -> 6.
int LevelForCapacity(int percent);
// Writes brightness level (0 to 10, clamped) scaled to max_brightness to the first
// backlight (in name order) under root whose brightness file is writable.
// Returns 0 when a value was written, negative when there was nowhere to write.
int SetBacklightIn(const std::string& root, int level);

}  // namespace termsim

#endif
