// The property store on the host: one file per key in a directory.
//
// A value is the file's content up to OS_REG_VALUE_SIZE - 1 bytes, without one
// trailing newline, so values can be seeded by hand with echo. A write goes to a
// temporary file in the same directory that is then renamed over the key's file,
// so a reader sees the old value or the new one, never part of one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"

namespace {

constexpr size_t kMaxKeyLength = 200;
constexpr size_t kMaxValueLength = OS_REG_VALUE_SIZE - 1;

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::string(v) : std::string();
}

// mkdir -p with mode 0755. Returns 0 or a negative errno value.
int MakeDirectories(const std::string& path) {
  if (path.empty()) return -EINVAL;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    const std::string part = path.substr(0, pos);
    if (part.empty()) continue;
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return -errno;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return -errno;
  return S_ISDIR(st.st_mode) ? 0 : -ENOTDIR;
}

int WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    const ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

namespace termsim {

std::string PropertiesDir() {
  std::string dir = EnvOrEmpty("TERMSIM_PROPS");
  if (!dir.empty()) return dir;
  dir = EnvOrEmpty("XDG_STATE_HOME");
  if (!dir.empty() && dir[0] == '/') return dir + "/termsim/props";
  dir = EnvOrEmpty("HOME");
  if (!dir.empty()) return dir + "/.local/state/termsim/props";
  return "/tmp/termsim/props";
}

bool IsValidPropertyKey(const char* key) {
  if (key == nullptr || key[0] == '\0' || key[0] == '.') return false;
  const size_t len = strnlen(key, kMaxKeyLength + 1);
  if (len > kMaxKeyLength) return false;
  return std::memchr(key, '/', len) == nullptr;
}

int ReadProperty(const std::string& dir, const char* key, char* value) {
  if (value == nullptr) return -EINVAL;
  value[0] = '\0';
  if (!IsValidPropertyKey(key) || dir.empty()) return -EINVAL;
  const std::string path = dir + "/" + key;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : -errno;
  // One byte more than a value and its newline tells a long value from a short one.
  char buf[kMaxValueLength + 2];
  size_t got = 0;
  int result = 0;
  while (got < sizeof buf) {
    const ssize_t n = read(fd, buf + got, sizeof buf - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = -errno;
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  if (result != 0) return result;
  if (got <= kMaxValueLength + 1 && got > 0 && buf[got - 1] == '\n') --got;
  if (got > kMaxValueLength) got = kMaxValueLength;
  std::memcpy(value, buf, got);
  value[got] = '\0';
  return 0;
}

int WriteProperty(const std::string& dir, const char* key, const char* value) {
  if (!IsValidPropertyKey(key) || value == nullptr || dir.empty()) return -EINVAL;
  int result = MakeDirectories(dir);
  if (result != 0) return result;
  const std::string path = dir + "/" + key;
  // The temporary name is hidden (a leading dot), so it can never be a key.
  const std::string tempName = dir + "/." + key + ".XXXXXX";
  std::vector<char> temp(tempName.begin(), tempName.end());
  temp.push_back('\0');
  const int fd = mkstemp(temp.data());
  if (fd < 0) return -errno;
  result = WriteAll(fd, value, strnlen(value, kMaxValueLength));
  if (result == 0 && fchmod(fd, 0644) != 0) result = -errno;
  if (result == 0 && fsync(fd) != 0) result = -errno;
  if (close(fd) != 0 && result == 0) result = -errno;
  if (result == 0 && rename(temp.data(), path.c_str()) != 0) result = -errno;
  if (result != 0) unlink(temp.data());
  return result;
}

}  // namespace termsim

int OsRegGetValue(const char* key, char* value) {
  return termsim::ReadProperty(termsim::PropertiesDir(), key, value);
}

int OsRegSetValue(const char* key, const char* value) {
  return termsim::WriteProperty(termsim::PropertiesDir(), key, value);
}
