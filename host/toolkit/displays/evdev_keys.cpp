#include "host/toolkit/displays/evdev_keys.h"

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

struct Letter {
  unsigned short key;
  char ascii;
};

constexpr Letter kLetters[] = {
    {KEY_A, 'a'}, {KEY_B, 'b'}, {KEY_C, 'c'}, {KEY_D, 'd'}, {KEY_E, 'e'}, {KEY_F, 'f'},
    {KEY_G, 'g'}, {KEY_H, 'h'}, {KEY_I, 'i'}, {KEY_J, 'j'}, {KEY_K, 'k'}, {KEY_L, 'l'},
    {KEY_M, 'm'}, {KEY_N, 'n'}, {KEY_O, 'o'}, {KEY_P, 'p'}, {KEY_Q, 'q'}, {KEY_R, 'r'},
    {KEY_S, 's'}, {KEY_T, 't'}, {KEY_U, 'u'}, {KEY_V, 'v'}, {KEY_W, 'w'}, {KEY_X, 'x'},
    {KEY_Y, 'y'}, {KEY_Z, 'z'}, {KEY_1, '1'}, {KEY_2, '2'}, {KEY_3, '3'}, {KEY_4, '4'},
    {KEY_5, '5'}, {KEY_6, '6'}, {KEY_7, '7'}, {KEY_8, '8'}, {KEY_9, '9'}, {KEY_0, '0'},
    {KEY_KP1, '1'}, {KEY_KP2, '2'}, {KEY_KP3, '3'}, {KEY_KP4, '4'}, {KEY_KP5, '5'},
    {KEY_KP6, '6'}, {KEY_KP7, '7'}, {KEY_KP8, '8'}, {KEY_KP9, '9'}, {KEY_KP0, '0'},
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
  switch (event.code) {
    case KEY_BACKSPACE:
      keys_.push_back(DecodedKey{DecodedKey::kCode, 8});
      return;
    case KEY_ENTER:
    case KEY_KPENTER:
      keys_.push_back(DecodedKey{DecodedKey::kCode, 13});
      return;
    case KEY_ESC:
      keys_.push_back(DecodedKey{DecodedKey::kCode, 27});
      return;
    case KEY_TAB:
      keys_.push_back(DecodedKey{shift ? DecodedKey::kFocusPrevious : DecodedKey::kFocusNext, 0});
      return;
    case KEY_DOWN:
    case KEY_RIGHT:
      keys_.push_back(DecodedKey{DecodedKey::kFocusNext, 0});
      return;
    case KEY_UP:
    case KEY_LEFT:
      keys_.push_back(DecodedKey{DecodedKey::kFocusPrevious, 0});
      return;
    case KEY_SPACE:
      keys_.push_back(DecodedKey{DecodedKey::kPress, 0});
      return;
    case KEY_SYSRQ:
    case KEY_PRINT:
      keys_.push_back(DecodedKey{DecodedKey::kScreenshot, 0});
      return;
    default:
      break;
  }
  for (const Letter& letter : kLetters) {
    if (letter.key != event.code) continue;
    char ascii = letter.ascii;
    if (shift && ascii >= 'a' && ascii <= 'z') ascii = static_cast<char>(ascii - 'a' + 'A');
    keys_.push_back(DecodedKey{DecodedKey::kCode, ascii});
    return;
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
