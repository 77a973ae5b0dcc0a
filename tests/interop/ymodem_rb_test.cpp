// The YMODEM sender against lrzsz's rb, a receiver written elsewhere, over port 11
// of the host terminal services: a pseudo-terminal with rb attached to its far end,
// as a user attaches it.
//
// rb discards its pending input right after it writes each 'C' and ACK; on this link
// without a delay of its own the sender pauses before each send, so that its blocks do
// not arrive before that discard.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"
#include "upload/file_transfer.h"

namespace {

// How long rb may take to finish after the end of the batch.
constexpr auto kReceiverExitLimit = std::chrono::seconds(30);

// The path of an executable found on PATH, or "".
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWhole(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string RandomContents(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string contents(size, '\0');
  for (char& c : contents) c = static_cast<char>(random() & 0xFF);
  return contents;
}

std::string MakeTempDir(const char* tag) {
  std::string pattern = std::string("/tmp/battest-") + tag + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  return mkdtemp(buffer.data()) != nullptr ? std::string(buffer.data()) : std::string();
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

void RemoveTree(const std::string& dir) {
  if (dir.empty()) return;
  if (nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) != 0) {
    std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  }
}

// rb running in dir with its standard input and output on the far end of the
// terminal's port at peer, as a user attaches it, its messages in a file; killed if
// it is still running when this goes away.
class Receiver {
 public:
  Receiver(const std::string& program, const std::string& dir, const std::string& peer)
      : log_(dir + "/../rb-messages.txt") {
    pid_ = fork();
    if (pid_ == 0) {
      // The child: only calls that are safe between fork and exec.
      int line = open(peer.c_str(), O_RDWR | O_NOCTTY);
      int err = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (line < 0 || err < 0 || chdir(dir.c_str()) != 0 || dup2(line, 0) < 0 ||
          dup2(line, 1) < 0 || dup2(err, 2) < 0) {
        _exit(126);
      }
      // Binary, YMODEM, and never overwrite a file that is already there.
      execl(program.c_str(), "rb", "--ymodem", "--binary", "--protect", "--verbose",
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Receiver() {
    if (pid_ > 0 && !finished_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }

  // Waits at most limit for rb to end; true with its exit status when it did.
  bool WaitForExit(std::chrono::milliseconds limit, int* status) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      pid_t done = waitpid(pid_, status, WNOHANG);
      if (done == pid_) {
        finished_ = true;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  std::string Messages() const { return ReadWhole(log_); }

 private:
  std::string log_;
  pid_t pid_ = -1;
  bool finished_ = false;
};

struct Upload {
  size_t size;
  std::string remoteName;
  std::string contents;
};

class YmodemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    TransferAbort.store(0);
    root_ = MakeTempDir("interop");
    ASSERT_FALSE(root_.empty());
    outbox_ = root_ + "/outbox";
    inbox_ = root_ + "/inbox";
    ASSERT_EQ(0, mkdir(outbox_.c_str(), 0755));
    ASSERT_EQ(0, mkdir(inbox_.c_str(), 0755));
  }
  void TearDown() override { RemoveTree(root_); }

  std::string root_;
  std::string outbox_;
  std::string inbox_;
};

TEST_F(YmodemInterop, RbReceivesABatchOfNineFilesByteForByte) {
  std::string rb = FindOnPath("rb");
  ASSERT_FALSE(rb.empty()) << "lrzsz's rb is not installed: the YMODEM sender cannot be "
                              "checked against it (install the Debian package lrzsz)";

  // Port 11 on a pseudo-terminal of this process, as the host services make it
  // when TERMSIM_PORT11 names no device.
  ASSERT_EQ(0, OsPortOpen(UPLOAD_PORT, "115200,8,n,1"));
  std::string peer = termsim::Port11PeerPath();
  ASSERT_FALSE(peer.empty()) << "no pseudo-terminal behind port 11 (TERMSIM_PORT11 must be unset)";

  const std::vector<size_t> sizes = {1, 127, 128, 129, 1023, 1024, 1025, 2 * 1024 + 52,
                                     300 * 1024 + 77};
  std::vector<Upload> uploads;
  for (size_t size : sizes) {
    Upload upload{size, "t1_" + std::to_string(size) + ".bin",
                  RandomContents(size, static_cast<unsigned>(size))};
    WriteWhole(outbox_ + "/report_" + std::to_string(size) + ".txt", upload.contents);
    uploads.push_back(upload);
  }

  Receiver receiver(rb, inbox_, peer);
  ASSERT_TRUE(receiver.Started());
  for (const Upload& upload : uploads) {
    std::string local = outbox_ + "/report_" + std::to_string(upload.size) + ".txt";
    ASSERT_EQ(static_cast<int>(upload.size), SendFile(local.c_str(), upload.remoteName.c_str()))
        << upload.remoteName << "\nrb said:\n" << receiver.Messages();
  }
  ASSERT_EQ(0, EndBatch()) << "rb said:\n" << receiver.Messages();

  int status = 0;
  ASSERT_TRUE(receiver.WaitForExit(kReceiverExitLimit, &status))
      << "rb did not end after the batch; it said:\n" << receiver.Messages();
  EXPECT_EQ(0, OsPortClose(UPLOAD_PORT));
  ASSERT_TRUE(WIFEXITED(status)) << receiver.Messages();
  EXPECT_EQ(0, WEXITSTATUS(status)) << receiver.Messages();

  for (const Upload& upload : uploads) {
    std::string arrived = ReadWhole(inbox_ + "/" + upload.remoteName);
    EXPECT_EQ(upload.size, arrived.size()) << upload.remoteName;
    EXPECT_TRUE(arrived == upload.contents) << upload.remoteName << " differs";
  }
}

}  // namespace
