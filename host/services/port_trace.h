// A trace of port 11's traffic, for finding out what crossed on a link: with
// TERMSIM_PORT11_TRACE=FILE every open, reset, send, receive and close of port 11 is
// appended to FILE as one line, with the real time in milliseconds, and so is every pause
// (OsSleep) of the thread that opened the port while it is open: the pause the sender
// takes before a send, or does not.
#ifndef HOST_SERVICES_PORT_TRACE_H
#define HOST_SERVICES_PORT_TRACE_H

#include <cstdint>

namespace termsim {

// Starts the trace of an upload when the setting names a file; says why when it
// cannot be written.
void PortTraceOpen(int port);
// Ends it (after the line of the close).
void PortTraceClose(int port);
// One line: what happened and the bytes it carried (count < 0: a failure's result).
void PortTrace(int port, const char* what, const void* data, int count);
// A line "pause MS" when the calling thread opened port 11 and it is open.
void PortTracePause(uint32_t ms);

}  // namespace termsim

#endif
