// What the host shell gives a display for the user at the PC, never seen by the program:
// a line of its own (its function keys and a note, such as where port 11 is) and what
// those keys do. A display without room for the line leaves it out.
#ifndef HOST_TOOLKIT_DISPLAYS_HOST_CHROME_H
#define HOST_TOOLKIT_DISPLAYS_HOST_CHROME_H

#include <functional>
#include <string>

namespace termsim {

struct HostChrome {
  // The host line, Windows-1251; empty (or no function): none.
  std::function<std::string()> line;
  // Runs the action of function key n (1..12) on the UI thread; false when it has none.
  std::function<bool(int)> pressKey;

  std::string Line() const { return line ? line() : std::string(); }
  void PressKey(int n) const {
    if (pressKey) pressKey(n);
  }
};

}  // namespace termsim

#endif
