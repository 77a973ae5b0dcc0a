// Ports over real pseudo-terminals: a device port whose far end the test holds,
// and port 11 on the pseudo-terminal the services make for a receiver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/common/end_actions.h"
#include "host/services/linux_services.h"
#include "host/services/port11_link.h"
#include "host/services/port_line.h"
#include "platform/terminal_services.h"
#include "tests/host_services/poll_count.h"
#include "tests/host_services/test_support.h"

namespace {

using test::kNoHangMs;
using test::PollCount;
using test::ScopedEnv;
using test::Stopwatch;

constexpr int kDevicePort = 3;
constexpr const char* kUploadAttr = "115200,8,n,1";

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

std::vector<uint8_t> AllByteValues() {
  std::vector<uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  return bytes;
}

// Reads n bytes from fd, waiting at most ms in all; fewer when time runs out.
std::vector<uint8_t> ReadBytes(int fd, size_t n, int64_t ms = kNoHangMs) {
  std::vector<uint8_t> got;
  Stopwatch watch;
  while (got.size() < n && watch.ElapsedMs() < ms) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 50) <= 0 || (pfd.revents & POLLIN) == 0) continue;
    uint8_t buf[4096];
    const ssize_t r = read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (r > 0) got.insert(got.end(), buf, buf + r);
  }
  return got;
}

bool WriteBytes(int fd, const void* data, size_t n) {
  return write(fd, data, n) == static_cast<ssize_t>(n);
}

// Waits until n bytes have reached an open port: a pseudo-terminal passes bytes on a
// moment after they are written.
void AwaitInput(int port, int n) {
  Stopwatch watch;
  while (termsim::PortInputPending(port) < n && watch.ElapsedMs() < kNoHangMs) {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 1);
  }
  ASSERT_GE(termsim::PortInputPending(port), n) << "the bytes never arrived";
}

// Port 3 is a pseudo-terminal slave named in TERMSIM_PORT3; the test holds the
// master, the far end of the line.
class DevicePort : public ::testing::Test {
 protected:
  void SetUp() override {
    far_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(far_, 0);
    ASSERT_EQ(grantpt(far_), 0);
    ASSERT_EQ(unlockpt(far_), 0);
    char name[128];
    ASSERT_EQ(ptsname_r(far_, name, sizeof name), 0);
    env_ = std::make_unique<ScopedEnv>("TERMSIM_PORT3", name);
  }
  void TearDown() override {
    OsPortClose(kDevicePort);
    termsim::SetPortSendGiveUpMs(5000);
    termsim::SetPortCloseDrainMs(2000);
    if (far_ >= 0) close(far_);
  }
  void Open(const char* attr = kUploadAttr) { ASSERT_EQ(OsPortOpen(kDevicePort, attr), 0); }

  int far_ = -1;
  std::unique_ptr<ScopedEnv> env_;
  termios cooked_{};
};

void ExpectRaw(const termios& t) {
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST(PortTermios, CarriesTheLineSettingsInRawMode) {
  termios t{};
  t.c_lflag = ICANON | ECHO | ISIG;
  t.c_iflag = ICRNL | IXON | IXOFF | IXANY;  // software flow control, as stty ixoff leaves it
  t.c_oflag = OPOST | ONLCR;
  t.c_cflag = CRTSCTS | CS8;
  termsim::PortAttr a;
  ASSERT_TRUE(termsim::ParsePortAttr("9600,7,e,2", &a));
  ASSERT_TRUE(termsim::MakeRawTermios(a, &t));
  ExpectRaw(t);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
            static_cast<tcflag_t>(CS7 | PARENB | CSTOPB));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
  ASSERT_TRUE(termsim::ParsePortAttr("4000000,5,O,1", &a));
  ASSERT_TRUE(termsim::MakeRawTermios(a, &t));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
            static_cast<tcflag_t>(CS5 | PARENB | PARODD));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4000000));
  ASSERT_TRUE(termsim::ParsePortAttr("115200,8,n,1", &a));
  ASSERT_TRUE(termsim::MakeRawTermios(a, &t));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), static_cast<tcflag_t>(CS8));
  a.speed = 12345;
  EXPECT_FALSE(termsim::MakeRawTermios(a, &t));
}

// Port 11 named in TERMSIM_PORT11 is made raw at the program's start: a line left in the
// line discipline's defaults (as a USB gadget's serial port comes up) echoes back what a
// receiver sends while an upload opens it, before the open's own settings.
TEST_F(DevicePort, ATerminalMadeRawAheadStaysRawForTheOpensToCome) {
  char name[128];
  ASSERT_EQ(ptsname_r(far_, name, sizeof name), 0);
  ASSERT_EQ(tcgetattr(far_, &cooked_), 0);
  ASSERT_NE(cooked_.c_lflag & ECHO, 0u) << "a fresh pseudo-terminal should echo";
  int held = -1;
  ASSERT_EQ(termsim::MakeRawAhead(name, &held), 0);
  termios t{};
  ASSERT_EQ(tcgetattr(far_, &t), 0);
  ExpectRaw(t);
  ASSERT_TRUE(isatty(held)) << "the device was not held open";
  close(held);
  EXPECT_EQ(termsim::MakeRawAhead("/nonexistent/port11"), -ENOENT);
  held = -1;
  EXPECT_EQ(termsim::MakeRawAhead("/dev/null", &held), 0) << "what is not a terminal is left alone";
  EXPECT_EQ(-1, held);
}

TEST_F(DevicePort, PutsTheLineInRawModeAtTheGivenSpeed) {
  ASSERT_EQ(tcgetattr(far_, &cooked_), 0);  // a master reports its slave's settings
  ASSERT_NE(cooked_.c_lflag & ECHO, 0u) << "a new pseudo-terminal starts cooked";
  Open("9600,8,n,2");
  termios t{};
  ASSERT_EQ(tcgetattr(far_, &t), 0);
  ExpectRaw(t);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  ASSERT_EQ(OsPortClose(kDevicePort), 0);
  Open("115200,8,n,1");
  ASSERT_EQ(tcgetattr(far_, &t), 0);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
}

TEST_F(DevicePort, RefusesAMalformedAttributeStringWithoutOpening) {
  EXPECT_NE(OsPortOpen(kDevicePort, "115200"), 0);
  EXPECT_NE(OsPortOpen(kDevicePort, "115200,8,n,3"), 0);
  EXPECT_NE(OsPortOpen(kDevicePort, nullptr), 0);
  EXPECT_LT(OsPortClose(kDevicePort), 0) << "the port was opened after all";
  EXPECT_LT(OsPortSend(kDevicePort, "x", 1), 0);
  Open();
}

TEST_F(DevicePort, RefusesASecondOpenAndUnknownPorts) {
  Open();
  EXPECT_NE(OsPortOpen(kDevicePort, kUploadAttr), 0);
  EXPECT_EQ(OsPortClose(kDevicePort), 0);
  EXPECT_LT(OsPortClose(kDevicePort), 0);
  ScopedEnv unset("TERMSIM_PORT5", nullptr);
  for (int port : {5, -1, 32, 1000}) {
    EXPECT_NE(OsPortOpen(port, kUploadAttr), 0) << port;
    EXPECT_LT(OsPortClose(port), 0) << port;
    EXPECT_LT(OsPortReset(port), 0) << port;
    uint8_t b;
    EXPECT_LT(OsPortRecv(port, &b, 1, 10), 0) << port;
  }
  ScopedEnv missing("TERMSIM_PORT5", "/nonexistent/tty");
  EXPECT_NE(OsPortOpen(5, kUploadAttr), 0);
}

TEST_F(DevicePort, ReceiveReturnsAByteAsSoonAsItArrives) {
  Open();
  std::thread sender([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WriteBytes(far_, "C", 1);
  });
  Stopwatch watch;
  uint8_t buf[16] = {};
  const int n = OsPortRecv(kDevicePort, buf, sizeof buf, 2 * kNoHangMs);
  const int64_t elapsed = watch.ElapsedMs();
  sender.join();
  ASSERT_EQ(n, 1);
  EXPECT_EQ(buf[0], 'C');
  EXPECT_LT(elapsed, kNoHangMs) << "not at the end of the time-out";
}

TEST_F(DevicePort, ReceiveReturnsNothingAfterItsTimeOut) {
  Open();
  uint8_t b = 0;
  Stopwatch watch;
  EXPECT_EQ(OsPortRecv(kDevicePort, &b, 1, 100), 0);
  const int64_t elapsed = watch.ElapsedMs();
  EXPECT_GE(elapsed, 95);
  EXPECT_LT(elapsed, kNoHangMs);
}

TEST_F(DevicePort, KeepsWhatTheFarEndSentBeforeTheOpen) {
  ASSERT_TRUE(WriteBytes(far_, "C", 1));
  Open();
  uint8_t b = 0;
  ASSERT_EQ(OsPortRecv(kDevicePort, &b, 1, kNoHangMs), 1);
  EXPECT_EQ(b, 'C');
}

TEST_F(DevicePort, ReceiveReturnsAtMostTheRequestedCount) {
  Open();
  ASSERT_TRUE(WriteBytes(far_, "ABCDEF", 6));
  AwaitInput(kDevicePort, 6);
  uint8_t buf[8] = {};
  ASSERT_EQ(OsPortRecv(kDevicePort, buf, 4, kNoHangMs), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "ABCD");
  ASSERT_EQ(OsPortRecv(kDevicePort, buf, 8, kNoHangMs), 2);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "EF");
}

TEST_F(DevicePort, SendDeliversEveryByteValueAndWholeBlocks) {
  Open();
  const std::vector<uint8_t> values = AllByteValues();
  const std::vector<uint8_t> block = Pattern(1029, 0x02);
  ASSERT_EQ(OsPortSend(kDevicePort, values.data(), 256), 0);
  ASSERT_EQ(OsPortSend(kDevicePort, block.data(), 1029), 0);
  EXPECT_EQ(ReadBytes(far_, 256), values);
  EXPECT_EQ(ReadBytes(far_, 1029), block);
  // And the other way: nothing mapped on the way in either.
  ASSERT_TRUE(WriteBytes(far_, values.data(), values.size()));
  std::vector<uint8_t> got;
  while (got.size() < 256) {
    uint8_t buf[256];
    const int n = OsPortRecv(kDevicePort, buf, sizeof buf, kNoHangMs);
    ASSERT_GT(n, 0);
    got.insert(got.end(), buf, buf + n);
  }
  EXPECT_EQ(got, values);
}

TEST_F(DevicePort, ResetDiscardsInputNotYetRead) {
  Open();
  ASSERT_TRUE(WriteBytes(far_, "stale", 5));
  AwaitInput(kDevicePort, 5);
  ASSERT_EQ(OsPortReset(kDevicePort), 0);
  uint8_t b = 0;
  EXPECT_EQ(OsPortRecv(kDevicePort, &b, 1, 100), 0);
  ASSERT_TRUE(WriteBytes(far_, "C", 1));
  ASSERT_EQ(OsPortRecv(kDevicePort, &b, 1, kNoHangMs), 1);
  EXPECT_EQ(b, 'C');
}

TEST_F(DevicePort, SendGivesUpWhenTheFarEndNeverReads) {
  termsim::SetPortSendGiveUpMs(300);
  Open();
  const std::vector<uint8_t> block = Pattern(1029, 0);
  Stopwatch watch;
  int result = 0;
  size_t sent = 0;
  while (result == 0 && sent < 8u * 1024 * 1024) {
    result = OsPortSend(kDevicePort, block.data(), 1029);
    if (result == 0) sent += 1029;
  }
  EXPECT_NE(result, 0) << "sent " << sent << " bytes into a line nobody reads";
  EXPECT_LT(watch.ElapsedMs(), kNoHangMs);
}

TEST_F(DevicePort, BytesSentJustBeforeTheCloseReachTheFarEnd) {
  Open();
  const std::vector<uint8_t> block = Pattern(1029, 0x55);
  ASSERT_EQ(OsPortSend(kDevicePort, block.data(), 1029), 0);
  ASSERT_EQ(OsPortClose(kDevicePort), 0);
  EXPECT_EQ(ReadBytes(far_, 1029), block);
}

TEST_F(DevicePort, AHungUpLineNeitherSpinsNorHangs) {
  Open();
  close(far_);
  far_ = -1;
  uint8_t b = 0;
  Stopwatch watch;
  int n = 0;
  int polls = 0;
  {
    PollCount count;
    n = OsPortRecv(kDevicePort, &b, 1, 150);
    polls = count.Calls();
  }
  const int64_t elapsed = watch.ElapsedMs();
  EXPECT_LE(n, 0);
  if (n == 0) {
    EXPECT_GE(elapsed, 145) << "no data must mean the time-out was waited out";
  }
  // A hung-up line is ready at once, so a wait made of polls would be a busy loop: one
  // poll finds the line gone, then the rest of the time-out is slept.
  EXPECT_GE(polls, 1) << "no poll counted: the count does not see the port's calls";
  EXPECT_LE(polls, 2) << "busy loop on a hung-up line";
  Stopwatch sendWatch;
  const std::vector<uint8_t> block = Pattern(1029, 1);
  EXPECT_NE(OsPortSend(kDevicePort, block.data(), 1029), 0);
  EXPECT_LT(sendWatch.ElapsedMs(), kNoHangMs);
  Stopwatch closeWatch;
  EXPECT_EQ(OsPortClose(kDevicePort), 0);
  EXPECT_LT(closeWatch.ElapsedMs(), kNoHangMs);
}

// Port 11 on the services' own pseudo-terminal, with the test as the receiver.
class UploadPortPty : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Port 11 is settled once per process; these tests need the pseudo-terminal.
    unsetenv("TERMSIM_PORT11");
    unsetenv("TERMSIM_PORT11_LINK");
  }
  void SetUp() override {
    peerPath_ = termsim::Port11PeerPath();
    ASSERT_FALSE(peerPath_.empty());
    DiscardQueuedBytes();
  }
  void TearDown() override {
    Detach();
    DiscardQueuedBytes();
    OsPortClose(UPLOAD_PORT);
    termsim::SetPortSendGiveUpMs(5000);
    termsim::SetPortCloseDrainMs(2000);
  }
  // Bytes a test sent with no receiver attached stay queued, and so do those a receiver
  // sent after the port's close (rb's last ACK in another suite); the next test starts
  // without them. The far end's flush does not reach what the port's side holds already.
  void DiscardQueuedBytes() {
    const int fd = open(peerPath_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    tcflush(fd, TCIOFLUSH);
    close(fd);
    const bool opened = OsPortOpen(UPLOAD_PORT, kUploadAttr) == 0;
    OsPortReset(UPLOAD_PORT);
    if (opened) OsPortClose(UPLOAD_PORT);
  }
  int Attach() {
    Detach();
    receiver_ = open(peerPath_.c_str(), O_RDWR | O_NOCTTY);
    return receiver_;
  }
  void Detach() {
    if (receiver_ >= 0) close(receiver_);
    receiver_ = -1;
  }

  std::string peerPath_;
  int receiver_ = -1;
};

TEST_F(UploadPortPty, ThePeerPathIsATerminalThatStaysTheSame) {
  const int fd = Attach();
  ASSERT_GE(fd, 0) << peerPath_;
  EXPECT_TRUE(isatty(fd));
  EXPECT_EQ(std::string(termsim::Port11PeerPath()), peerPath_);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  ASSERT_EQ(OsPortClose(UPLOAD_PORT), 0);
  EXPECT_EQ(std::string(termsim::Port11PeerPath()), peerPath_);
}

TEST_F(UploadPortPty, ExchangesBytesWithAReceiverOnThePeerPath) {
  ASSERT_GE(Attach(), 0);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  ASSERT_TRUE(WriteBytes(receiver_, "C", 1));
  uint8_t b = 0;
  ASSERT_EQ(OsPortRecv(UPLOAD_PORT, &b, 1, kNoHangMs), 1);
  EXPECT_EQ(b, 'C');
  const std::vector<uint8_t> values = AllByteValues();
  const std::vector<uint8_t> block = Pattern(1029, 0x02);
  ASSERT_EQ(OsPortSend(UPLOAD_PORT, values.data(), 256), 0);
  ASSERT_EQ(OsPortSend(UPLOAD_PORT, block.data(), 1029), 0);
  EXPECT_EQ(ReadBytes(receiver_, 256), values);
  EXPECT_EQ(ReadBytes(receiver_, 1029), block);
}

// A receiver started before the upload has asked for it already, and does not ask
// again for seconds: what it sent before the open is there to be read.
TEST_F(UploadPortPty, AReceiverThatAskedBeforeTheOpenIsHeard) {
  ASSERT_GE(Attach(), 0);
  ASSERT_TRUE(WriteBytes(receiver_, "C", 1));
  AwaitInput(UPLOAD_PORT, 1);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  uint8_t b = 0;
  ASSERT_EQ(OsPortRecv(UPLOAD_PORT, &b, 1, 100), 1);
  EXPECT_EQ(b, 'C');
}

TEST_F(UploadPortPty, SentBytesAreNotEchoedBack) {
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  const std::vector<uint8_t> block = Pattern(133, 0x01);
  ASSERT_EQ(OsPortSend(UPLOAD_PORT, block.data(), 133), 0);
  uint8_t buf[256];
  EXPECT_EQ(OsPortRecv(UPLOAD_PORT, buf, sizeof buf, 100), 0);
}

TEST_F(UploadPortPty, KeepsWhatWasSentForAReceiverThatAttachesLater) {
  termsim::SetPortCloseDrainMs(100);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  const std::vector<uint8_t> block = Pattern(1029, 0x33);
  Stopwatch watch;
  ASSERT_EQ(OsPortSend(UPLOAD_PORT, block.data(), 1029), 0) << "no receiver is not an error";
  EXPECT_LT(watch.ElapsedMs(), kNoHangMs) << "the pseudo-terminal takes a block at once";
  ASSERT_EQ(OsPortClose(UPLOAD_PORT), 0);
  ASSERT_GE(Attach(), 0);
  EXPECT_EQ(ReadBytes(receiver_, 1029), block);
}

TEST_F(UploadPortPty, AReceiverCanDetachAndAttachAgain) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_GE(Attach(), 0);
    ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
    ASSERT_TRUE(WriteBytes(receiver_, "C", 1));
    uint8_t b = 0;
    ASSERT_EQ(OsPortRecv(UPLOAD_PORT, &b, 1, kNoHangMs), 1) << "round " << round;
    const std::vector<uint8_t> block = Pattern(1029, static_cast<uint8_t>(round));
    ASSERT_EQ(OsPortSend(UPLOAD_PORT, block.data(), 1029), 0);
    // The last block goes right before the close; the receiver is still reading. The
    // close waits only until it has read, far less than the drain limit.
    termsim::SetPortCloseDrainMs(3 * kNoHangMs);
    std::vector<uint8_t> received;
    std::thread reader([&] { received = ReadBytes(receiver_, 1029); });
    Stopwatch closeWatch;
    EXPECT_EQ(OsPortClose(UPLOAD_PORT), 0);
    EXPECT_LT(closeWatch.ElapsedMs(), 2 * kNoHangMs) << "the close waited for the drain limit";
    reader.join();
    EXPECT_EQ(received, block) << "round " << round;
    Detach();
    uint8_t none = 0;
    ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
    EXPECT_EQ(OsPortRecv(UPLOAD_PORT, &none, 1, 50), 0) << "a detached receiver is silence";
    ASSERT_EQ(OsPortClose(UPLOAD_PORT), 0);
  }
}

TEST_F(UploadPortPty, ResetDiscardsInputNotYetRead) {
  ASSERT_GE(Attach(), 0);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  ASSERT_TRUE(WriteBytes(receiver_, "CCCC", 4));
  AwaitInput(UPLOAD_PORT, 4);
  ASSERT_EQ(OsPortReset(UPLOAD_PORT), 0);
  uint8_t b = 0;
  EXPECT_EQ(OsPortRecv(UPLOAD_PORT, &b, 1, 100), 0);
  ASSERT_TRUE(WriteBytes(receiver_, "\x06", 1));
  ASSERT_EQ(OsPortRecv(UPLOAD_PORT, &b, 1, kNoHangMs), 1);
  EXPECT_EQ(b, 0x06);
}

TEST_F(UploadPortPty, SendGivesUpWhenNobodyReads) {
  termsim::SetPortSendGiveUpMs(300);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  const std::vector<uint8_t> block = Pattern(1029, 0);
  Stopwatch watch;
  int result = 0;
  size_t sent = 0;
  while (result == 0 && sent < 8u * 1024 * 1024) {
    result = OsPortSend(UPLOAD_PORT, block.data(), 1029);
    if (result == 0) sent += 1029;
  }
  EXPECT_NE(result, 0) << "sent " << sent << " bytes with nobody reading";
  EXPECT_LT(watch.ElapsedMs(), kNoHangMs);
}

TEST(PortLink, PointsAtTheTargetAndReplacesALinkLeftByAProgramThatEnded) {
  test::TempDir dir;
  const std::string link = dir / "port11";
  bool replaced = true;
  ASSERT_EQ(termsim::MakePortLink(link.c_str(), "/dev/pts/nonexistent", &replaced), 0);
  EXPECT_FALSE(replaced);
  char target[64] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "/dev/pts/nonexistent");
  // A pseudo-terminal nobody holds as a port 11 (say, a terminal window's that got the
  // number of an ended program's) counts as gone too.
  const int pty = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(pty, 0);
  ASSERT_EQ(grantpt(pty), 0);
  ASSERT_EQ(unlockpt(pty), 0);
  char name[128];
  ASSERT_EQ(ptsname_r(pty, name, sizeof name), 0);
  ASSERT_EQ(termsim::MakePortLink(link.c_str(), name, &replaced), 0);
  EXPECT_TRUE(replaced);
  ASSERT_EQ(termsim::MakePortLink(link.c_str(), "/dev/pts/nonexistent", &replaced), 0);
  EXPECT_TRUE(replaced);
  close(pty);
}

TEST(PortLink, LeavesALinkToARunningProgramsPortAndAnythingButALinkAlone) {
  test::TempDir dir;
  const std::string link = dir / "port11";
  const std::string port = termsim::Port11PeerPath();  // this process's own, held for its life
  ASSERT_FALSE(port.empty());
  ASSERT_EQ(symlink(port.c_str(), link.c_str()), 0);
  EXPECT_EQ(termsim::MakePortLink(link.c_str(), "/dev/pts/nonexistent"), -EBUSY);
  char target[64] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(target, port);
  const std::string path = dir / "file";
  test::WriteFile(path, "keep");
  EXPECT_EQ(termsim::MakePortLink(path.c_str(), "/dev/pts/7"), -EEXIST);
  EXPECT_EQ(test::ReadFile(path), "keep");
  // A link to something that is no pseudo-terminal is not looked into, and stays.
  const std::string other = dir / "other";
  ASSERT_EQ(symlink(path.c_str(), other.c_str()), 0);
  EXPECT_EQ(termsim::MakePortLink(other.c_str(), "/dev/pts/7"), -EBUSY);
}

// The program's end removes its own link, but not one that took its place meanwhile (the
// port of another program started after this one's link was removed), even where one
// target's name begins the other's.
TEST(PortLink, TheEndRemovesTheLinkOnlyWhileItIsStillItsOwn) {
  test::TempDir dir;
  const std::string link = dir / "port11";
  ScopedEnv env("TERMSIM_PORT11_LINK", link.c_str());
  char target[64] = {};
  termsim::LinkPort11("/dev/pts/nonexistent");
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  termsim::RunEndActions();
  EXPECT_FALSE(std::filesystem::is_symlink(link)) << "its own link is removed";

  const char* const pairs[][2] = {  // this program's port, then the other's
      {"/dev/pts/nonexistent", "/dev/pts/another"},
      {"/dev/pts/12", "/dev/pts/1"},
      {"/dev/pts/1", "/dev/pts/12"},
  };
  for (const auto& pair : pairs) {
    termsim::LinkPort11(pair[0]);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(pair[1], link.c_str()), 0);
    termsim::RunEndActions();
    ASSERT_TRUE(std::filesystem::is_symlink(link))
        << "the link to " << pair[1] << " was removed at the end of the program on " << pair[0];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(target, static_cast<size_t>(n)), pair[1]);
    ASSERT_EQ(unlink(link.c_str()), 0);
  }
}

}  // namespace

TEST_F(UploadPortPty, BytesNoReceiverTookAreGoneAtTheNextOpen) {
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  ASSERT_EQ(OsPortSend(UPLOAD_PORT, "stale", 5), 0);  // nobody attached
  ASSERT_EQ(OsPortClose(UPLOAD_PORT), 0);
  ASSERT_EQ(OsPortOpen(UPLOAD_PORT, kUploadAttr), 0);
  ASSERT_GE(Attach(), 0);
  ASSERT_EQ(OsPortSend(UPLOAD_PORT, "C", 1), 0);
  EXPECT_EQ(ReadBytes(receiver_, 1), std::vector<uint8_t>{'C'});
  ASSERT_EQ(OsPortClose(UPLOAD_PORT), 0);
}
