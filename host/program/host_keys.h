// The host's own part of the screen, for the user at the PC and never seen by the
// program: function keys the host handles itself, and a note (where port 11 is, say).
// The terminal display shows both on a line of its own. Set before the program starts
// (or by a test), used on the UI thread.
#ifndef HOST_PROGRAM_HOST_KEYS_H
#define HOST_PROGRAM_HOST_KEYS_H

#include <string>

namespace termsim {

// Adds function key n (1..12) with a word of help (UTF-8) and the action it runs on the
// UI thread; a key added again replaces the earlier one.
void AddHostKey(int n, const std::string& help, void (*action)());
// Runs the action of function key n; false when the host has none.
bool PressHostKey(int n);
// The note, UTF-8.
void SetHostNote(const std::string& note);
// "F2: help  ...  note" in Windows-1251, as every text on the screen; "" when the host
// has neither keys nor a note.
std::string HostLine();

}  // namespace termsim

#endif
