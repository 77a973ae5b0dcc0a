#include "host/program/host_keys.h"

#include <algorithm>
#include <vector>

#include "host/toolkit/look/cp1251.h"

namespace termsim {
namespace {

struct HostKey {
  int n;
  std::string help;  // Windows-1251
  void (*action)();
};

struct HostPart {
  std::vector<HostKey> keys;
  std::string note;  // Windows-1251
};

HostPart& Host() {
  static HostPart host;
  return host;
}

}  // namespace

void AddHostKey(int n, const std::string& help, void (*action)()) {
  std::vector<HostKey>& keys = Host().keys;
  keys.erase(std::remove_if(keys.begin(), keys.end(), [n](const HostKey& k) { return k.n == n; }),
             keys.end());
  keys.push_back(HostKey{n, Utf8ToCp1251(help), action});
  std::sort(keys.begin(), keys.end(), [](const HostKey& a, const HostKey& b) { return a.n < b.n; });
}

bool PressHostKey(int n) {
  for (const HostKey& key : Host().keys) {
    if (key.n == n) {
      key.action();
      return true;
    }
  }
  return false;
}

void SetHostNote(const std::string& note) { Host().note = Utf8ToCp1251(note); }

std::string HostLine() {
  std::string line;
  for (const HostKey& key : Host().keys) line += "F" + std::to_string(key.n) + ": " + key.help + "  ";
  return line + Host().note;
}

}  // namespace termsim
