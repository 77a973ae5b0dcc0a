// Port 11 with a real YMODEM receiver (lrzsz's rb) attached to its peer path:
// a one-file batch built here byte by byte must arrive whole, every byte value
// included, with the last block sent right before the port is closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"
#include "tests/host_services/test_support.h"
#include "tests/support/wait_until.h"
#include "upload/transfer_block.h"

namespace {

constexpr const char* kReceiver = "/usr/bin/rb";
constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15;

uint16_t Crc16(const uint8_t* p, size_t n) {
  uint16_t crc = 0;
  while (n-- > 0) {
    crc = static_cast<uint16_t>(crc ^ (*p++ << 8));
    for (int i = 0; i < 8; ++i) {
      crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

std::vector<uint8_t> Block(uint8_t number, const std::vector<uint8_t>& data, size_t size,
                           uint8_t fill) {
  std::vector<uint8_t> b(3 + size + 2, fill);
  b[0] = size == 128 ? SOH : STX;
  b[1] = number;
  b[2] = static_cast<uint8_t>(255 - number);
  std::copy(data.begin(), data.end(), b.begin() + 3);
  const uint16_t crc = Crc16(b.data() + 3, size);
  b[3 + size] = static_cast<uint8_t>(crc >> 8);
  b[4 + size] = static_cast<uint8_t>(crc & 0xFF);
  return b;
}

// Waits up to 10 s for one of the wanted bytes, skipping any other.
int Await(std::initializer_list<uint8_t> wanted) {
  const uint32_t start = OsGetTickCount();
  while (OsGetTickCount() - start < 10000) {
    uint8_t b = 0;
    const int n = OsPortRecv(UPLOAD_PORT, &b, 1, 200);
    if (n < 0) return n;
    if (n == 1) {
      for (uint8_t w : wanted) {
        if (b == w) return b;
      }
    }
  }
  return -1;
}

class UploadPortReceiver : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("TERMSIM_PORT11");
    unsetenv("TERMSIM_PORT11_LINK");
  }
  void SetUp() override {
    if (access(kReceiver, X_OK) != 0) GTEST_SKIP() << kReceiver << " is not installed";
    peer_ = termsim::Port11PeerPath();
    ASSERT_FALSE(peer_.empty());
    ASSERT_FALSE(dir_.path().empty());
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    OsPortClose(UPLOAD_PORT);
  }
  void StartReceiver() {
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      const int tty = open(peer_.c_str(), O_RDWR | O_NOCTTY);
      const int null = open("/dev/null", O_WRONLY);
      if (tty < 0 || null < 0 || chdir(dir_.path().c_str()) != 0) _exit(127);
      dup2(tty, 0);
      dup2(tty, 1);
      dup2(null, 2);
      execl(kReceiver, "rb", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // The receiver's exit status, or -1 when it is still running after 10 s.
  int WaitReceiver() {
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  // Sends what answers the receiver's last byte once the receiver waits for it: rb clears
  // its input right after it writes a request or an answer (a trace of its calls shows
  // the write, then the flush, then the read), so a block sent before that flush is
  // lost. Asleep in a call after its last byte came, it is in the read after the flush.
  int Answer(const void* data, uint32_t len) {
    EXPECT_TRUE(test::WaitUntil([this] { return ReceiverAsleep(); }))
        << "the receiver never waited for the answer";
    return OsPortSend(UPLOAD_PORT, data, len);
  }

  // Whether the receiver is asleep in a system call (state S in /proc/PID/stat).
  bool ReceiverAsleep() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t nameEnd = text.rfind(") ");  // the state follows the name in brackets
    return nameEnd != std::string::npos && nameEnd + 2 < text.size() && text[nameEnd + 2] == 'S';
  }

  std::string peer_;
  test::TempDir dir_;
  pid_t pid_ = -1;
};

TEST_F(UploadPortReceiver, ReceivesABatchSentOverThePort) {
  std::vector<uint8_t> content(300);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i);
  const std::string header = std::string("report.txt") + '\0' + std::to_string(content.size());

  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, "115200,8,n,1"), 0);
  StartReceiver();
  ASSERT_EQ(Await({'C'}), 'C') << "the receiver never asked for the file";
  OsPortReset(UPLOAD_PORT);
  const std::vector<uint8_t> block0 =
      Block(0, std::vector<uint8_t>(header.begin(), header.end()), 128, 0);
  ASSERT_EQ(Answer(block0.data(), static_cast<uint32_t>(block0.size())), 0);
  ASSERT_EQ(Await({'C'}), 'C') << "block 0 not taken";
  const std::vector<uint8_t> block1 = Block(1, content, 1024, 0x1A);
  ASSERT_EQ(block1.size(), 1029u);
  ASSERT_EQ(Answer(block1.data(), 1029), 0);
  ASSERT_EQ(Await({ACK, NAK}), ACK) << "data block refused";
  int answer = NAK;
  for (int i = 0; i < 3 && answer == NAK; ++i) {
    const uint8_t eot = EOT;
    ASSERT_EQ(Answer(&eot, 1), 0);
    answer = Await({ACK, NAK});
  }
  ASSERT_EQ(answer, ACK);
  ASSERT_EQ(Await({'C'}), 'C') << "no request for the next file";
  const std::vector<uint8_t> end = Block(0, {}, 128, 0);
  ASSERT_EQ(Answer(end.data(), 133), 0);
  ASSERT_EQ(OsPortClose(UPLOAD_PORT), 0);  // right after the batch's last block

  EXPECT_EQ(WaitReceiver(), 0);
  const std::string got = test::ReadFile(dir_ / "report.txt");
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), content);
}

}  // namespace
