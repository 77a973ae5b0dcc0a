// Port 11's link: in-use detection of what an old link points at, and the removal of
// our own link at the end, which may run in a signal handler.
#include "host/services/port11_link.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/common/end_actions.h"
#include "host/services/linux_services.h"

namespace termsim {
namespace {

// Port 11's link, kept for the end action that removes it: plain buffers, as a signal
// handler may read them.
char gLinkPath[4096];
char gLinkTarget[128];

bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// Removes the link, unless something else has been put in its place. Async-signal-safe.
void RemoveOwnLink() {
  char target[sizeof gLinkTarget];
  const ssize_t n = readlink(gLinkPath, target, sizeof target - 1);
  if (n <= 0) return;
  target[n] = '\0';
  if (SameText(target, gLinkTarget)) unlink(gLinkPath);
}

// Whether what an old link points at is still in use. Only a pseudo-terminal is looked
// into (a program holds a lock on its port 11 for as long as it runs): opening anything
// else could start a device, so whatever else is there counts as in use, and only a
// target that is gone counts as free.
bool LinkTargetInUse(const char* path) {
  char real[PATH_MAX];
  if (realpath(path, real) == nullptr) return errno != ENOENT && errno != ENOTDIR;
  struct stat st {};
  if (stat(real, &st) != 0) return true;
  if (std::strncmp(real, "/dev/pts/", 9) != 0 || !S_ISCHR(st.st_mode)) return true;
  const int fd = open(real, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != ENOENT && errno != ENXIO && errno != EIO;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);  // also drops the lock, if it was taken here
  return locked;
}

}  // namespace

void LinkPort11(const char* ptyName) {
  const char* link = std::getenv("TERMSIM_PORT11_LINK");
  if (link == nullptr || link[0] == '\0') return;
  if (std::strlen(link) >= sizeof gLinkPath || std::strlen(ptyName) >= sizeof gLinkTarget) {
    std::fprintf(stderr, "termsim: port 11: TERMSIM_PORT11_LINK=%s is too long; no link made\n",
                 link);
    return;
  }
  bool replaced = false;
  const int r = MakePortLink(link, ptyName, &replaced);
  if (r == -EBUSY) {
    std::fprintf(stderr,
                 "termsim: port 11: %s points at something in use, the port of another "
                 "program that runs, say; left alone, no link made\n",
                 link);
  } else if (r == -EEXIST) {
    std::fprintf(stderr, "termsim: port 11: %s is there and is no link; left alone, no link made\n",
                 link);
  } else if (r != 0) {
    std::fprintf(stderr, "termsim: port 11: no link at %s: %s\n", link, std::strerror(-r));
  } else {
    std::snprintf(gLinkPath, sizeof gLinkPath, "%s", link);
    std::snprintf(gLinkTarget, sizeof gLinkTarget, "%s", ptyName);
    AddEndAction(RemoveOwnLink);
    if (replaced) {
      std::fprintf(stderr, "termsim: port 11: replaced %s, left by a program that has ended\n",
                   link);
    }
    std::fprintf(stderr, "termsim: port 11 is also %s\n", link);
  }
}

const char* Port11LinkMade() { return gLinkPath; }

int MakePortLink(const char* link, const char* target, bool* replaced) {
  if (replaced != nullptr) *replaced = false;
  if (link == nullptr || target == nullptr || link[0] == '\0') return -EINVAL;
  struct stat st {};
  if (lstat(link, &st) == 0) {
    if (!S_ISLNK(st.st_mode)) return -EEXIST;
    char old[4096];
    const ssize_t n = readlink(link, old, sizeof old - 1);
    if (n > 0) {
      old[n] = '\0';
      if (LinkTargetInUse(old)) return -EBUSY;
    }
    if (replaced != nullptr) *replaced = true;
  }
  // A new link beside the old one, renamed over it: never a moment without one.
  const std::string temp = std::string(link) + ".new";
  unlink(temp.c_str());
  if (symlink(target, temp.c_str()) != 0) return -errno;
  if (rename(temp.c_str(), link) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return -err;
  }
  return 0;
}

}  // namespace termsim
