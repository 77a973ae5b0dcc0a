#include "host/toolkit/displays/terminal/terminal_display.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>

#include "host/common/end_actions.h"

namespace termsim {
namespace {

// State the signal handlers use: plain values set before the handlers are installed,
// so that the handlers only make async-signal-safe calls.
int gOut = -1;
int gIn = -1;
bool gHaveSaved = false;
termios gSaved;
termios gRaw;
int gWake[2] = {-1, -1};  // self-pipe: the handlers ask the UI thread to redraw
// Stop and resume, and a new window size. Signals that end the program are the
// toolkit's: the terminal is given back by an end action.
constexpr int kSignals[] = {SIGTSTP, SIGCONT, SIGWINCH};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction gOldActions[kSignalCount];

// CAN ends any escape sequence cut short by the signal, then the terminal is restored.
const char kEnter[] = "\x1b[?1049h\x1b[?25l";
const char kLeave[] = "\x18\x1b[0m\x1b[?25h\x1b[?1049l";
constexpr int kEscapeWaitMs = 50;

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void EnterTerminal() {
  if (gHaveSaved) tcsetattr(gIn, TCSANOW, &gRaw);
  WriteAll(gOut, kEnter, sizeof kEnter - 1);
}

void LeaveTerminal() {
  WriteAll(gOut, kLeave, sizeof kLeave - 1);
  if (gHaveSaved) tcsetattr(gIn, TCSANOW, &gSaved);
}

void Wake() {
  if (gWake[1] >= 0) {
    const char byte = 1;
    const ssize_t ignored = write(gWake[1], &byte, 1);
    (void)ignored;
  }
}

void OnSignal(int signal);

void Install(int signal) { SetSignalHandler(signal, OnSignal, SA_RESTART); }

void OnSignal(int signal) {
  const int savedErrno = errno;
  switch (signal) {
    case SIGWINCH:
      Wake();
      break;
    case SIGCONT:
      EnterTerminal();
      Install(SIGTSTP);
      Wake();
      break;
    default:  // SIGTSTP
      // Give the terminal back and stop: the default action runs once the handler
      // returns and unblocks the signal; SIGCONT brings the screen back.
      LeaveTerminal();
      std::signal(SIGTSTP, SIG_DFL);
      std::raise(SIGTSTP);
      break;
  }
  errno = savedErrno;
}

}  // namespace

TerminalDisplay::TerminalDisplay(int inFd, int outFd, HostChrome chrome)
    : in_(inFd), out_(outFd), chrome_(std::move(chrome)) {
  gIn = inFd;
  gOut = outFd;
  gHaveSaved = isatty(inFd) && tcgetattr(inFd, &gSaved) == 0;
  if (gHaveSaved) {
    gRaw = gSaved;
    gRaw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);  // ISIG stays: Ctrl-C
    gRaw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IXON);
    gRaw.c_cc[VMIN] = 1;
    gRaw.c_cc[VTIME] = 0;
  }
  if (pipe(gWake) == 0) {
    for (int fd : gWake) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  } else {
    gWake[0] = gWake[1] = -1;
  }
  EnterTerminal();
  AddEndAction(LeaveTerminal);
  for (int i = 0; i < kSignalCount; ++i) {
    SetSignalHandler(kSignals[i], OnSignal, SA_RESTART, &gOldActions[i]);
  }
  QuerySize();
}

TerminalDisplay::~TerminalDisplay() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &gOldActions[i], nullptr);
  RemoveEndAction(LeaveTerminal);
  LeaveTerminal();
  for (int& fd : gWake) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void TerminalDisplay::QuerySize() {
  winsize size{};
  if (ioctl(out_, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
    rows_ = size.ws_row;
    columns_ = size.ws_col;
  } else {
    // Not a terminal that says its size: assume it holds the whole picture.
    const FrameLayout layout = LayoutFor(screen_.width, screen_.height, !hostLine_.empty());
    rows_ = layout.rows();
    columns_ = layout.columns;
  }
}

void TerminalDisplay::Draw(const Screen& screen) {
  screen_ = screen;
  hostLine_ = chrome_.Line();
  focus_.Update(screen_);
  Paint(false);
}

void TerminalDisplay::Paint(bool whole) {
  Frame frame = ComposeFrame(screen_, focus_.Focused(), hostLine_);
  NoteTooSmall(&frame, rows_, columns_);
  const std::string bytes =
      RenderFrame(whole || !havePrevious_ ? nullptr : &previous_, frame, rows_, columns_);
  WriteAll(out_, bytes.data(), bytes.size());
  previous_ = std::move(frame);
  havePrevious_ = true;
}

void TerminalDisplay::DrainWakeups() {
  char buffer[64];
  while (gWake[0] >= 0 && read(gWake[0], buffer, sizeof buffer) > 0) {
  }
  QuerySize();
  Paint(true);
}

int TerminalDisplay::WaitInput(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    DecodedKey key;
    while (decoder_.Pop(&key)) {
      if (key.action == DecodedKey::kFunction) {
        chrome_.PressKey(key.code);  // the host's, never the program's
        continue;
      }
      bool moved = false;
      const int code = focus_.Apply(key, &moved);
      if (moved) Paint(false);
      if (code >= 0) return code;
    }
    const long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 && !decoder_.Pending()) return kNoInput;
    const int wait = decoder_.Pending() ? kEscapeWaitMs : static_cast<int>(left);
    pollfd fds[2] = {{inputOpen_ ? in_ : -1, POLLIN, 0}, {gWake[0], POLLIN, 0}};
    const int ready = poll(fds, 2, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return kNoInput;
    }
    if (ready == 0) {
      if (decoder_.Pending()) decoder_.Expire();
      continue;
    }
    if (fds[1].revents & POLLIN) DrainWakeups();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[256];
      const ssize_t got = read(in_, buffer, sizeof buffer);
      if (got > 0) {
        decoder_.Feed(buffer, static_cast<size_t>(got));
      } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        inputOpen_ = false;  // no more keys; the loop goes on idling
      }
    }
  }
}

}  // namespace termsim
