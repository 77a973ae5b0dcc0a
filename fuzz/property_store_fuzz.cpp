// The property store's files: a key's file holds any bytes, and a key is any text. A
// value read is a NUL-terminated text within the terminal's 64 bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"

namespace {

struct Store {
  Store() {
    char pattern[] = "/tmp/property-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    dir = pattern;
  }
  ~Store() {
    unlink((dir + "/ro.fac.mach").c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Store store;
  // The first byte: how many of the next bytes are a key to check.
  size_t keyLength = size > 0 ? data[0] % 48 : 0;
  if (keyLength > size - (size > 0)) keyLength = size - (size > 0);
  std::string key(reinterpret_cast<const char*>(data + (size > 0)), keyLength);
  termsim::IsValidPropertyKey(key.c_str());
  size_t used = (size > 0) + keyLength;

  std::FILE* f = std::fopen((store.dir + "/ro.fac.mach").c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(data + used, 1, size - used, f);
  std::fclose(f);
  char value[OS_REG_VALUE_SIZE];
  std::memset(value, 'x', sizeof value);
  if (termsim::ReadProperty(store.dir, "ro.fac.mach", value) >= 0 &&
      std::memchr(value, '\0', sizeof value) == nullptr) {
    std::abort();  // a value without its end within the buffer
  }
  return 0;
}
