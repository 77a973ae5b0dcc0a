// Terminal services: ticks, clock, properties, ports, power source and display control.
//
// The terminal's operating-system services as the battery test utility uses them.
// A device build links the terminal's own services library; a PC build links the
// host implementation; the unit tests link a fake that owns a virtual clock.
#ifndef PLATFORM_TERMINAL_SERVICES_H
#define PLATFORM_TERMINAL_SERVICES_H

#include <cstdint>

// Port number of the terminal's USB device port, which carries uploads.
enum { UPLOAD_PORT = 11 };

// Size of the buffer OsRegGetValue fills, terminating NUL included.
enum { OS_REG_VALUE_SIZE = 64 };

// Calendar time: year, month (1-12), day (1-31), hour, minute, second;
// the seventh field is the day of the week (0 = Sunday) and is not read.
struct TerminalTime {
  uint32_t year;
  uint32_t month;
  uint32_t day;
  uint32_t hour;
  uint32_t minute;
  uint32_t second;
  uint32_t weekday;
};

// Milliseconds since an arbitrary start; wraps after 2^32 ms (49.7 days).
uint32_t OsGetTickCount();
// Fills *t with the local time. Returns 0.
int OsGetTime(TerminalTime* t);
// Blocks the caller for about ms milliseconds. Returns 0.
int OsSleep(uint32_t ms);

// Copies the property's value, NUL-terminated, into value (OS_REG_VALUE_SIZE bytes).
// A missing property reads as an empty string. Returns 0, or negative on failure.
int OsRegGetValue(const char* key, char* value);
// Stores the property. Returns 0, or negative on failure.
int OsRegSetValue(const char* key, const char* value);

// Opens the port with attributes "speed,data bits,parity,stop bits", e.g. "115200,8,n,1".
// Returns 0 on success, else a non-zero error code.
int OsPortOpen(int port, const char* attr);
// Releases the port. Returns 0, or negative when it was not open.
int OsPortClose(int port);
// Discards input received and not yet read. Returns 0, or negative on failure.
int OsPortReset(int port);
// Sends len bytes. Returns 0 when all were accepted, else non-zero.
int OsPortSend(int port, const void* data, uint32_t len);
// Waits at most ms milliseconds for input; returns the count of bytes received
// (1 to len), 0 when none arrived in time, negative on error.
int OsPortRecv(int port, void* buf, uint32_t len, uint32_t ms);

// Power source: 1 mains, 2 USB (both external power), 3 battery, 0 unknown.
int OsCheckPowerSupply();
// Coarse battery level on external power: 0, 1, 2, 3, 4 or 6 (full).
int OsCheckBattery();
// Sets the display brightness. Returns 0.
int OsScrBrightness(int level);
// Sleep control of the terminal; mode 0 keeps it awake. Returns 0.
int OsSysSleepEx(int mode);

#endif
