#include "host/toolkit/displays/framebuffer/evdev_keys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace termsim {
namespace {

// What a key gives: an action, and for kCode the code (with Shift: shiftedCode), for
// kFunction the function key's number.
struct KeyMeaning {
  unsigned short key;
  DecodedKey::Action action;
  int code, shiftedCode;
};

constexpr DecodedKey::Action kCode = DecodedKey::kCode;
constexpr DecodedKey::Action kNext = DecodedKey::kFocusNext;
constexpr DecodedKey::Action kPrevious = DecodedKey::kFocusPrevious;

constexpr KeyMeaning kKeys[] = {
    {KEY_BACKSPACE, kCode, 8, 8}, {KEY_ENTER, kCode, 13, 13}, {KEY_KPENTER, kCode, 13, 13},
    {KEY_ESC, kCode, 27, 27}, {KEY_DOWN, kNext, 0, 0}, {KEY_RIGHT, kNext, 0, 0},
    {KEY_UP, kPrevious, 0, 0}, {KEY_LEFT, kPrevious, 0, 0},
    {KEY_SPACE, DecodedKey::kPress, 0, 0}, {KEY_SYSRQ, DecodedKey::kScreenshot, 0, 0},
    {KEY_PRINT, DecodedKey::kScreenshot, 0, 0},
    {KEY_F1, DecodedKey::kFunction, 1, 1}, {KEY_F2, DecodedKey::kFunction, 2, 2},
    {KEY_F3, DecodedKey::kFunction, 3, 3}, {KEY_F4, DecodedKey::kFunction, 4, 4},
    {KEY_F5, DecodedKey::kFunction, 5, 5}, {KEY_F6, DecodedKey::kFunction, 6, 6},
    {KEY_F7, DecodedKey::kFunction, 7, 7}, {KEY_F8, DecodedKey::kFunction, 8, 8},
    {KEY_F9, DecodedKey::kFunction, 9, 9}, {KEY_F10, DecodedKey::kFunction, 10, 10},
    {KEY_F11, DecodedKey::kFunction, 11, 11}, {KEY_F12, DecodedKey::kFunction, 12, 12},
    {KEY_A, kCode, 'a', 'A'}, {KEY_B, kCode, 'b', 'B'}, {KEY_C, kCode, 'c', 'C'},
    {KEY_D, kCode, 'd', 'D'}, {KEY_E, kCode, 'e', 'E'}, {KEY_F, kCode, 'f', 'F'},
    {KEY_G, kCode, 'g', 'G'}, {KEY_H, kCode, 'h', 'H'}, {KEY_I, kCode, 'i', 'I'},
    {KEY_J, kCode, 'j', 'J'}, {KEY_K, kCode, 'k', 'K'}, {KEY_L, kCode, 'l', 'L'},
    {KEY_M, kCode, 'm', 'M'}, {KEY_N, kCode, 'n', 'N'}, {KEY_O, kCode, 'o', 'O'},
    {KEY_P, kCode, 'p', 'P'}, {KEY_Q, kCode, 'q', 'Q'}, {KEY_R, kCode, 'r', 'R'},
    {KEY_S, kCode, 's', 'S'}, {KEY_T, kCode, 't', 'T'}, {KEY_U, kCode, 'u', 'U'},
    {KEY_V, kCode, 'v', 'V'}, {KEY_W, kCode, 'w', 'W'}, {KEY_X, kCode, 'x', 'X'},
    {KEY_Y, kCode, 'y', 'Y'}, {KEY_Z, kCode, 'z', 'Z'},
    {KEY_1, kCode, '1', '1'}, {KEY_2, kCode, '2', '2'}, {KEY_3, kCode, '3', '3'},
    {KEY_4, kCode, '4', '4'}, {KEY_5, kCode, '5', '5'}, {KEY_6, kCode, '6', '6'},
    {KEY_7, kCode, '7', '7'}, {KEY_8, kCode, '8', '8'}, {KEY_9, kCode, '9', '9'},
    {KEY_0, kCode, '0', '0'}, {KEY_KP1, kCode, '1', '1'}, {KEY_KP2, kCode, '2', '2'},
    {KEY_KP3, kCode, '3', '3'}, {KEY_KP4, kCode, '4', '4'}, {KEY_KP5, kCode, '5', '5'},
    {KEY_KP6, kCode, '6', '6'}, {KEY_KP7, kCode, '7', '7'}, {KEY_KP8, kCode, '8', '8'},
    {KEY_KP9, kCode, '9', '9'}, {KEY_KP0, kCode, '0', '0'},
};

bool HasBit(const std::vector<unsigned long>& bits, unsigned bit) {
  const size_t perWord = 8 * sizeof(unsigned long);
  return (bits[bit / perWord] >> (bit % perWord)) & 1;
}

// A device that reports key events, Enter among them.
bool IsKeyboard(int fd) {
  const size_t perWord = 8 * sizeof(unsigned long);
  std::vector<unsigned long> types(EV_MAX / perWord + 1);
  std::vector<unsigned long> keys(KEY_MAX / perWord + 1);
  if (ioctl(fd, EVIOCGBIT(0, types.size() * sizeof(unsigned long)), types.data()) < 0 ||
      !HasBit(types, EV_KEY)) {
    return false;
  }
  return ioctl(fd, EVIOCGBIT(EV_KEY, keys.size() * sizeof(unsigned long)), keys.data()) >= 0 &&
         HasBit(keys, KEY_ENTER);
}

// /dev/input/eventN, in the order of N.
std::vector<std::string> EventDevices() {
  std::vector<std::pair<int, std::string>> found;
  if (DIR* dir = opendir("/dev/input")) {
    while (dirent* entry = readdir(dir)) {
      int number = 0;
      char rest = 0;
      if (std::sscanf(entry->d_name, "event%d%c", &number, &rest) == 1) {
        found.emplace_back(number, std::string("/dev/input/") + entry->d_name);
      }
    }
    closedir(dir);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& item : found) paths.push_back(std::move(item.second));
  return paths;
}

}  // namespace

void EvdevKeys::Feed(const input_event& event) {
  if (event.type != EV_KEY) return;
  if (event.code == KEY_LEFTSHIFT || event.code == KEY_RIGHTSHIFT) {
    (event.code == KEY_LEFTSHIFT ? leftShift_ : rightShift_) = event.value != 0;
    return;
  }
  if (event.value == 0) return;  // a release; 1 is a press, 2 a repeat
  const bool shift = leftShift_ || rightShift_;
  if (event.code == KEY_TAB) {
    keys_.push_back(DecodedKey{shift ? kPrevious : kNext, 0});
    return;
  }
  for (const KeyMeaning& meaning : kKeys) {
    if (meaning.key == event.code) {
      keys_.push_back(DecodedKey{meaning.action, shift ? meaning.shiftedCode : meaning.code});
      return;
    }
  }
}

void EvdevKeys::FeedBytes(const char* bytes, size_t count) {
  partial_.append(bytes, count);
  size_t used = 0;
  for (; partial_.size() - used >= sizeof(input_event); used += sizeof(input_event)) {
    input_event event;
    std::memcpy(&event, partial_.data() + used, sizeof event);
    Feed(event);
  }
  partial_.erase(0, used);
}

bool EvdevKeys::Pop(DecodedKey* key) {
  if (keys_.empty()) return false;
  *key = keys_.front();
  keys_.pop_front();
  return true;
}

int OpenKeyboard(const std::string& path, std::string* opened, std::string* error) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
  if (path.empty()) {
    for (const std::string& candidate : EventDevices()) {
      const int fd = open(candidate.c_str(), flags);
      if (fd < 0) continue;
      if (IsKeyboard(fd)) {
        ioctl(fd, EVIOCGRAB, 1);
        *opened = candidate;
        return fd;
      }
      close(fd);
    }
    *error = "TERMSIM_INPUT is not set and no keyboard that can be read was found among "
             "/dev/input/event*.";
    return -1;
  }
  const int fd = open(path.c_str(), flags);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    const int why = fd < 0 ? errno : EISDIR;
    if (fd >= 0) close(fd);
    *error = "The input device " + path + " named by TERMSIM_INPUT cannot be read: " +
             std::strerror(why) + ".";
    return -1;
  }
  // A character device must be an input event device: another (/dev/zero, a terminal)
  // would give bytes that are no events, without end.
  int version = 0;
  if (S_ISCHR(status.st_mode) && ioctl(fd, EVIOCGVERSION, &version) != 0) {
    close(fd);
    *error = "The device " + path + " named by TERMSIM_INPUT is not an input event device "
             "(/dev/input/event*), nor a file or a pipe of input events.";
    return -1;
  }
  // A device is taken for this program alone; a file or a pipe refuses, and is read as is.
  ioctl(fd, EVIOCGRAB, 1);
  *opened = path;
  return fd;
}

void CloseKeyboard(int fd) {
  if (fd < 0) return;
  ioctl(fd, EVIOCGRAB, 0);
  close(fd);
}

}  // namespace termsim
