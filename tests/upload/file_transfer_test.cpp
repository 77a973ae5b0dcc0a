// Sending files as a YMODEM batch: the order of blocks and answers, block sizes,
// the refusal budget, time-outs on the virtual clock, cancels and file errors.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/fakes/fake_terminal_services.h"
#include "tests/support/file_time.h"
#include "tests/upload/scripted_receiver.h"
#include "upload/file_transfer.h"

namespace {

using test::Frame;

const std::vector<uint8_t> C = {YM_REQUEST};
const std::vector<uint8_t> ACK = {YM_ACK};
const std::vector<uint8_t> NAK = {YM_NAK};
const std::vector<uint8_t> SILENCE = {};

size_t OpenDescriptors() {
  size_t count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

int CountCalls(const std::string& call) {
  std::vector<std::string> log = test::CallLog();
  return static_cast<int>(std::count(log.begin(), log.end(), call));
}

// The pauses taken before sends on a link without a delay of its own.
int Pauses() {
  return CountCalls("Sleep " + std::to_string(YM_TURNAROUND_MS)) +
         CountCalls("Sleep " + std::to_string(YM_REQUEST_PAUSE_MS));
}

class FileTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Reset();
    TransferAbort.store(0);
    ProcessorCount = 2;  // the pause rule as on a terminal with more than one
    runnableTasks_ = RunnableTasks;
    char pattern[] = "/tmp/battest-upload-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    ASSERT_EQ(0, OsPortOpen(UPLOAD_PORT, "115200,8,n,1"));
    test::SetPeer(UPLOAD_PORT, &receiver);
    descriptors_ = OpenDescriptors();
  }

  void TearDown() override {
    test::SetPeer(UPLOAD_PORT, nullptr);
    TransferAbort.store(0);
    ProcessorCount = 0;
    RunnableTasks = runnableTasks_;
    EXPECT_EQ(descriptors_, OpenDescriptors()) << "a file was left open";
    for (const std::string& path : files_) unlink(path.c_str());
    rmdir(dir_.c_str());
  }

  // A file of the given size with random contents; returns its path.
  std::string MakeFile(size_t size, const std::string& name = "report.txt") {
    std::mt19937 random(static_cast<unsigned>(size) + 17);
    contents.resize(size);
    for (uint8_t& byte : contents) byte = static_cast<uint8_t>(random());
    std::string path = dir_ + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, file);
    if (file == nullptr) return path;
    if (size > 0) std::fwrite(contents.data(), 1, size, file);
    std::fclose(file);
    files_.push_back(path);
    return path;
  }

  // The receiver asks for a file ('C') and SendFile sends one of the given size.
  int SendNewFile(size_t size) {
    std::string path = MakeFile(size);
    receiver.Say(C);
    return SendFile(path.c_str(), "report.txt");
  }

  // Data field sizes of the data blocks, in order.
  std::vector<size_t> DataFieldSizes() {
    std::vector<size_t> sizes;
    for (const Frame& frame : receiver.FramesOf(Frame::DATA)) sizes.push_back(frame.FieldSize());
    return sizes;
  }

  // The accepted data of the file-th file of the batch is the last file made,
  // followed by 0x1A up to the end of its last block.
  void ExpectFileArrived(int file = 0) {
    std::vector<uint8_t> data = receiver.AcceptedData(file);
    ASSERT_GE(data.size(), contents.size());
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), data.begin()));
    EXPECT_TRUE(std::all_of(data.begin() + static_cast<std::ptrdiff_t>(contents.size()), data.end(),
                            [](uint8_t byte) { return byte == YM_FILL; }));
    EXPECT_LT(data.size() - contents.size(), 128u);
  }

  test::ScriptedReceiver receiver;
  std::vector<uint8_t> contents;
  std::string dir_;

 private:
  std::vector<std::string> files_;
  size_t descriptors_ = 0;
  int (*runnableTasks_)() = nullptr;
};

// ---- Wire sequence -----------------------------------------------------------

using SendFileSequence = FileTransferTest;

TEST_F(SendFileSequence, AFileOfTwoLongBlocksAndFiftyTwoBytesFollowsTheProtocolOrder) {
  receiver.Reply(4, NAK);  // the first EOT
  ASSERT_EQ(2100, SendNewFile(2 * 1024 + 52));
  ASSERT_EQ(0, EndBatch());
  std::vector<std::string> expected = {
      "<C",  ">SOH #0 \"report.txt\" 2100", "<ACK", "<C",
      ">STX #1", "<ACK", ">STX #2", "<ACK", ">SOH #3", "<ACK",
      ">EOT", "<NAK", ">EOT", "<ACK",
      "<C",  ">SOH #0 empty"};
  EXPECT_EQ(expected, receiver.Transcript());
  ExpectFileArrived();
}

// A receiver repeats its request while it waits; a repeat sent just before block 0
// reached it arrives after the block, before the block's ACK. The data start only at
// the request that follows the ACK, and every answer stays with its block.
TEST_F(SendFileSequence, ARequestBeforeTheAckOfBlock0DoesNotStartTheData) {
  receiver.Reply(0, {YM_REQUEST, YM_ACK, YM_REQUEST});
  ASSERT_EQ(300, SendNewFile(300));
  std::vector<Frame> frames = receiver.Frames();
  ASSERT_EQ(5u, frames.size()) << "block 0 once, three data blocks, EOT";
  EXPECT_EQ(Frame::HEADER, frames[0].kind);
  EXPECT_EQ(Frame::DATA, frames[1].kind);
  ExpectFileArrived();
}

// A refusal that comes after the ACK of block 0 (line noise can make one) sends the
// block again, and that ACK then counts for nothing: the request still on the line
// from before the new block does not start the data either.
TEST_F(SendFileSequence, AnAckOfTheBlock0SentBeforeDoesNotCountForTheOneSentAgain) {
  receiver.Reply(0, {YM_ACK, YM_NAK});
  receiver.Reply(1, {YM_REQUEST, YM_ACK, YM_REQUEST});
  ASSERT_EQ(300, SendNewFile(300));
  std::vector<Frame> frames = receiver.Frames();
  ASSERT_EQ(6u, frames.size()) << "block 0 twice, three data blocks, EOT";
  EXPECT_EQ(Frame::HEADER, frames[1].kind);
  ExpectFileArrived();
}

TEST_F(SendFileSequence, EveryBlockCarriesItsComplementAndAValidCrc) {
  ASSERT_EQ(5000, SendNewFile(5000));
  for (const Frame& frame : receiver.Frames()) {
    if (!frame.IsBlock()) continue;
    EXPECT_EQ(255 - frame.Number(), frame.Complement());
    EXPECT_TRUE(frame.CrcMatches());
  }
  ExpectFileArrived();
}

TEST_F(SendFileSequence, ThePortIsResetOnceAfterTheRequestAndBeforeBlock0) {
  receiver.When(0, [] { EXPECT_EQ(1, CountCalls("PortReset 11")); });
  ASSERT_EQ(300, SendNewFile(300));
  EXPECT_EQ(1, CountCalls("PortReset 11"));
}

TEST_F(SendFileSequence, BytesOtherThanCBeforeTheHandshakeAreSkipped) {
  receiver.Say({YM_NAK, 'x', YM_ACK});
  ASSERT_EQ(300, SendNewFile(300));
  ExpectFileArrived();
}

TEST_F(SendFileSequence, TwoFilesAndTheEndOfBatchMakeOneBatch) {
  std::string first = MakeFile(700, "a.bin");
  std::string second = MakeFile(1500, "b.bin");
  receiver.Say(C);
  ASSERT_EQ(700, SendFile(first.c_str(), "first.bin"));
  ASSERT_EQ(1500, SendFile(second.c_str(), "second.bin"));
  ASSERT_EQ(0, EndBatch());
  std::vector<Frame> headers = receiver.FramesOf(Frame::HEADER);
  ASSERT_EQ(3u, headers.size());
  EXPECT_EQ("first.bin", headers[0].Name());
  EXPECT_EQ("700", headers[0].SizeText());
  EXPECT_EQ("second.bin", headers[1].Name());
  EXPECT_EQ("1500", headers[1].SizeText());
  EXPECT_EQ("", headers[2].Name());
  EXPECT_EQ(2, CountCalls("PortReset 11"));
  ExpectFileArrived(1);
}

// ---- Block sizes ---------------------------------------------------------------

using SendFileBlocks = FileTransferTest;

TEST_F(SendFileBlocks, Block0CarriesTheRemoteNameAndTheSizeInDecimal) {
  std::string path = MakeFile(2100, "local.bin");
  receiver.Say(C);
  ASSERT_EQ(2100, SendFile(path.c_str(), "T1_20171014.txt"));
  std::vector<Frame> headers = receiver.FramesOf(Frame::HEADER);
  ASSERT_EQ(1u, headers.size());
  EXPECT_EQ("T1_20171014.txt", headers[0].Name());
  EXPECT_EQ("2100", headers[0].SizeText());
}

// A clock past 2038, or one set wrong, stamps the log so: it is sent as any other.
TEST_F(SendFileBlocks, ALogStampedAfter2038IsSentAsAnyOther) {
  std::string path = MakeFile(2100);
  ASSERT_TRUE(test::StampAfter2038(path));
  receiver.Say(C);
  ASSERT_EQ(2100, SendFile(path.c_str(), "report.txt"));
  ExpectFileArrived();
}

TEST_F(SendFileBlocks, ExactlyOneKilobyteGoesAsEightShortBlocks) {
  ASSERT_EQ(1024, SendNewFile(1024));
  EXPECT_EQ(std::vector<size_t>(8, 128), DataFieldSizes());
  ExpectFileArrived();
}

TEST_F(SendFileBlocks, OneByteOverAKilobyteGoesAsOneLongAndOneFilledShortBlock) {
  ASSERT_EQ(1025, SendNewFile(1025));
  EXPECT_EQ((std::vector<size_t>{1024, 128}), DataFieldSizes());
  std::vector<uint8_t> last = receiver.FramesOf(Frame::DATA).back().Field();
  EXPECT_EQ(contents.back(), last[0]);
  EXPECT_EQ(std::vector<uint8_t>(127, YM_FILL), std::vector<uint8_t>(last.begin() + 1, last.end()));
}

TEST_F(SendFileBlocks, LongBlocksAreUsedOnlyWhileMoreThanAKilobyteRemains) {
  ASSERT_EQ(3000, SendNewFile(3000));  // 1024, 1024, then 952 in short blocks
  std::vector<size_t> expected = {1024, 1024};
  expected.insert(expected.end(), 8, 128);
  EXPECT_EQ(expected, DataFieldSizes());
  ExpectFileArrived();
}

TEST_F(SendFileBlocks, AOneByteFileIsOneShortBlockOf127FillBytes) {
  ASSERT_EQ(1, SendNewFile(1));
  EXPECT_EQ(std::vector<size_t>{128}, DataFieldSizes());
  ExpectFileArrived();
}

TEST_F(SendFileBlocks, BlockNumbersGoOnFrom255To0) {
  ASSERT_EQ(300 * 1024, SendNewFile(300 * 1024));
  std::vector<Frame> blocks = receiver.FramesOf(Frame::DATA);
  ASSERT_GT(blocks.size(), 257u);
  for (size_t i = 0; i < blocks.size(); ++i) {
    ASSERT_EQ(static_cast<uint8_t>(i + 1), blocks[i].Number()) << "data block " << i;
    ASSERT_EQ(static_cast<uint8_t>(255 - blocks[i].Number()), blocks[i].Complement());
  }
  EXPECT_EQ(255, blocks[254].Number());
  EXPECT_EQ(0, blocks[255].Number());
  EXPECT_EQ(0xFF, blocks[255].Complement());
  ExpectFileArrived();
}

// ---- Refusals ------------------------------------------------------------------
// A 300-byte file is frames: 0 block 0, 1-3 data blocks of 128, 128 and 44 bytes,
// 4 EOT; every NAK adds a resend right after the refused frame.

using SendFileRefusals = FileTransferTest;

TEST_F(SendFileRefusals, ARefusedDataBlockIsResentByteForByteWithTheSameNumber) {
  receiver.Reply(1, NAK);
  ASSERT_EQ(300, SendNewFile(300));
  std::vector<Frame> frames = receiver.Frames();
  EXPECT_EQ(1, frames[1].Number());
  EXPECT_EQ(frames[1].bytes, frames[2].bytes);
  EXPECT_EQ(2, frames[3].Number());
  ExpectFileArrived();
}

TEST_F(SendFileRefusals, ARefusedBlock0IsSentAgain) {
  receiver.Reply(0, NAK);
  ASSERT_EQ(300, SendNewFile(300));
  std::vector<Frame> frames = receiver.Frames();
  EXPECT_EQ(frames[0].bytes, frames[1].bytes);
  EXPECT_EQ(2u, receiver.FramesOf(Frame::HEADER).size());
  ExpectFileArrived();
}

TEST_F(SendFileRefusals, ARefusedEotIsSentAgain) {
  receiver.Reply(4, NAK);
  ASSERT_EQ(300, SendNewFile(300));
  EXPECT_EQ(2u, receiver.FramesOf(Frame::END_OF_FILE).size());
}

TEST_F(SendFileRefusals, ThreeRefusalsSpreadOverTheFileAreTolerated) {
  receiver.Reply(0, NAK);  // block 0
  receiver.Reply(2, NAK);  // data block 1
  receiver.Reply(6, NAK);  // EOT
  EXPECT_EQ(300, SendNewFile(300));
  ExpectFileArrived();
}

TEST_F(SendFileRefusals, AFourthRefusalOfEotAfterThreeEarlierOnesEndsTheFile) {
  receiver.Reply(0, NAK);  // block 0
  receiver.Reply(2, NAK);  // data block 1
  receiver.Reply(4, NAK);  // data block 2
  receiver.Reply(7, NAK);  // EOT, after every data block was acknowledged
  EXPECT_EQ(ERR_RETRIES, SendNewFile(300));
  EXPECT_EQ(8u, receiver.Frames().size()) << "nothing is sent after the fourth refusal";
}

TEST_F(SendFileRefusals, AFourthRefusalOfTheSameDataBlockEndsTheFile) {
  for (int frame = 1; frame <= 4; ++frame) receiver.Reply(frame, NAK);
  EXPECT_EQ(ERR_RETRIES, SendNewFile(300));
  EXPECT_EQ(4u, receiver.FramesOf(Frame::DATA).size());
  EXPECT_EQ(0u, receiver.FramesOf(Frame::END_OF_FILE).size());
}

TEST_F(SendFileRefusals, AFourthRefusalOfBlock0EndsTheFileBeforeAnyData) {
  for (int frame = 0; frame <= 3; ++frame) receiver.Reply(frame, NAK);
  EXPECT_EQ(ERR_RETRIES, SendNewFile(300));
  EXPECT_EQ(4u, receiver.FramesOf(Frame::HEADER).size());
  EXPECT_EQ(4u, receiver.Frames().size());
}

TEST_F(SendFileRefusals, EachFileHasABudgetOfItsOwn) {
  std::string first = MakeFile(300, "a.bin");
  std::string second = MakeFile(300, "b.bin");
  for (int frame : {1, 2, 3}) receiver.Reply(frame, NAK);     // first file, data block 1
  for (int frame : {9, 10, 11}) receiver.Reply(frame, NAK);   // second file, data block 1
  receiver.Say(C);
  EXPECT_EQ(300, SendFile(first.c_str(), "a.bin"));
  EXPECT_EQ(300, SendFile(second.c_str(), "b.bin"));
}

// ---- Time-outs (virtual clock) -------------------------------------------------

using SendFileTimeouts = FileTransferTest;

TEST_F(SendFileTimeouts, NoRequestWithin15SecondsIsATimeoutAndNothingIsSent) {
  std::string path = MakeFile(300);
  EXPECT_EQ(ERR_TIMEOUT, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(0u, receiver.BytesReceived());
  EXPECT_EQ(0, CountCalls("PortReset 11"));
  EXPECT_GE(test::Ticks(), 15000u);
  EXPECT_LE(test::Ticks(), 15200u);
}

TEST_F(SendFileTimeouts, ARequestArrivingAfter15SecondsCountsAsATimeout) {
  std::string path = MakeFile(300);
  receiver.SayAt(10000, {'x'});
  receiver.SayAt(15200, C);
  EXPECT_EQ(ERR_TIMEOUT, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(0u, receiver.BytesReceived());
  EXPECT_LE(test::Ticks(), 15200u) << "the wait ended with the poll at 15 s";
}

// A byte other than 'C' late in the wait is skipped without starting another 15 s: a
// receiver that sends a stray byte every 14 s cannot hold the sender for ever.
TEST_F(SendFileTimeouts, AStrayByteLateInTheWaitDoesNotLengthenIt) {
  std::string path = MakeFile(300);
  receiver.SayAt(14700, {'x'});
  EXPECT_EQ(ERR_TIMEOUT, SendFile(path.c_str(), "report.txt"));
  EXPECT_LE(test::Ticks(), 15200u);
}

// A line that never stops chattering (an echo, a console on the wrong port): a byte every
// 10 ms, never a 'C', so that no poll ever comes back empty. The handshake still ends at
// 15 s; bytes that keep coming neither lengthen it nor hang the upload. (After two
// minutes the line falls silent, which bounds the test should the wait not end.)
class ChatteringLine : public test::PortPeer {
 public:
  void OnSend(const uint8_t*, size_t) override {}

 public:
  int OnRecv(uint8_t* buf, size_t len) override {
    if (len == 0 || test::Ticks() >= 120000) return 0;
    test::Advance(10);
    buf[0] = 'x';
    return 1;
  }
};

TEST_F(SendFileTimeouts, ALineThatNeverFallsSilentStillTimesOutAt15Seconds) {
  std::string path = MakeFile(300);
  ChatteringLine line;
  test::SetPeer(UPLOAD_PORT, &line);
  EXPECT_EQ(ERR_TIMEOUT, SendFile(path.c_str(), "report.txt"));
  EXPECT_LE(test::Ticks(), 15200u);
  EXPECT_EQ(ERR_TIMEOUT, EndBatch());
  EXPECT_LE(test::Ticks(), 2 * 15200u);
  test::SetPeer(UPLOAD_PORT, nullptr);
}

TEST_F(SendFileTimeouts, ARequestJustWithin15SecondsStartsTheFile) {
  std::string path = MakeFile(300);
  receiver.SayAt(10000, {'x'});
  receiver.SayAt(14800, C);
  EXPECT_EQ(300, SendFile(path.c_str(), "report.txt"));
}

TEST_F(SendFileTimeouts, ARequestAtExactly15SecondsStillStartsTheFile) {
  // Only more than 15000 ms is too late; the 'C' comes on the poll at 15000 ms.
  std::string path = MakeFile(300);
  receiver.SayAt(14800, {'x'});
  receiver.SayAt(15000, C);
  EXPECT_EQ(300, SendFile(path.c_str(), "report.txt"));
}

TEST_F(SendFileTimeouts, NoRequestAfterBlock0IsATimeout) {
  std::string path = MakeFile(300);
  receiver.Say(C);
  receiver.Reply(0, ACK);
  receiver.SayAt(14900, {'x'});  // a stray byte late in the wait does not lengthen it
  EXPECT_EQ(ERR_TIMEOUT, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(0u, receiver.FramesOf(Frame::DATA).size());
  EXPECT_GT(test::Ticks(), 15000u);
  EXPECT_LE(test::Ticks(), 15300u);
}

// Only a request after the ACK of block 0 asks for the data: a receiver that only ever
// answers block 0 with 'C' and repeats it every 5 s is sent block 0 again at each repeat
// until the refusals are spent, and never any data.
TEST_F(SendFileTimeouts, RequestsWithoutAnAckOfBlock0NeverStartTheData) {
  std::string path = MakeFile(300);
  receiver.Say(C);
  for (int frame = 0; frame < 4; ++frame) receiver.Reply(frame, C);
  for (uint32_t tick = 5000; tick <= 40000; tick += 5000) receiver.SayAt(tick, C);
  EXPECT_EQ(ERR_RETRIES, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(0u, receiver.FramesOf(Frame::DATA).size());
  EXPECT_EQ(4u, receiver.FramesOf(Frame::HEADER).size());
}

// A receiver that lost block 0 (it cleared its input as the block arrived) asks for it
// again when its own wait is over, seconds later, with no ACK: block 0 goes again.
TEST_F(SendFileTimeouts, ARequestSecondsAfterBlock0WithoutAnAckSendsItAgain) {
  std::string path = MakeFile(300);
  receiver.Say(C);
  receiver.Reply(0, SILENCE);
  receiver.SayAt(11000, C);
  EXPECT_EQ(300, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(2u, receiver.FramesOf(Frame::HEADER).size());
  ExpectFileArrived();
}

// Likewise the first data block: the receiver asks for it again with 'C'.
TEST_F(SendFileTimeouts, ARequestAgainInsteadOfTheFirstDataBlocksAckSendsItAgain) {
  std::string path = MakeFile(300);
  receiver.Say(C);
  receiver.Reply(1, SILENCE);
  receiver.When(1, [this] { receiver.SayAt(test::Ticks() + 14000, C); });
  EXPECT_EQ(300, SendFile(path.c_str(), "report.txt"));
  std::vector<Frame> data = receiver.FramesOf(Frame::DATA);
  ASSERT_EQ(4u, data.size());
  EXPECT_EQ(data[0].bytes, data[1].bytes);
  ExpectFileArrived();
}

// A refusal is looked at before the deadline: even one that comes late, after other
// bytes, sends block 0 again and starts the wait anew.
TEST_F(SendFileTimeouts, ARefusalOfBlock0StartsTheWaitAnew) {
  std::string path = MakeFile(300);
  receiver.Reply(0, SILENCE);
  receiver.Reply(1, SILENCE);
  receiver.Say(C);
  receiver.SayAt(10000, ACK);
  receiver.SayAt(14000, NAK);       // block 0 goes again at 14 s
  receiver.SayAt(28000, {YM_ACK, YM_REQUEST});  // 14 s after that send, 28 s after the first
  EXPECT_EQ(300, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(2u, receiver.FramesOf(Frame::HEADER).size());
}

TEST_F(SendFileTimeouts, NoAnswerToADataBlockIsAProtocolError) {
  receiver.Reply(2, SILENCE);
  EXPECT_EQ(ERR_PROTOCOL, SendNewFile(300));
  // Three sends, each after its pause (two follow requests), then 15 s of silence.
  EXPECT_EQ(2 * YM_REQUEST_PAUSE_MS + YM_TURNAROUND_MS + 15000u, test::Ticks());
}

TEST_F(SendFileTimeouts, NoAnswerToEotIsAProtocolError) {
  receiver.Reply(4, SILENCE);
  EXPECT_EQ(ERR_PROTOCOL, SendNewFile(300));
}

TEST_F(SendFileTimeouts, AnUnexpectedAnswerToADataBlockIsAProtocolError) {
  receiver.Reply(2, C);
  EXPECT_EQ(ERR_PROTOCOL, SendNewFile(300));
}

TEST_F(SendFileTimeouts, ACancelFromTheReceiverIsJustAnUnexpectedAnswer) {
  receiver.Reply(1, {0x18, 0x18});
  EXPECT_EQ(ERR_PROTOCOL, SendNewFile(300));
  EXPECT_EQ(2u, receiver.Frames().size()) << "nothing more is sent, no CAN either";
}

// ---- The pause before a send (virtual clock) ---------------------------------------

// A receiver like lrzsz's rb at the far end of a link: it answers each frame as soon as
// the frame has arrived and clears its input afterAckMs later, or afterRequestMs after a
// request ('C'), which rb sends at its turning points (start, file opened or closed) and
// where it takes longer to clear its input. A frame that arrives
// before that clearing is lost: the receiver then asks again when its own 3 s wait is
// over ('C' while no data block has come, else NAK). Each byte takes the link's delay
// to cross, each way; delayAt(frame) gives it for the frame's crossing and its answer's.
// The port call that sends a frame returns sendTakes(frame) after the frame has left.

class ClearingReceiver : public test::PortPeer {
 public:
  ClearingReceiver(uint32_t afterAckMs, uint32_t afterRequestMs,
                   std::function<uint32_t(int)> delayAt,
                   std::function<uint32_t(int)> sendTakes = [](int) { return 0u; })
      : afterAckMs_(afterAckMs), afterRequestMs_(afterRequestMs), delayAt_(std::move(delayAt)),
        sendTakes_(std::move(sendTakes)) {
    offers_.push_back({0, YM_REQUEST});
  }

  void OnSend(const uint8_t* data, size_t len) override {
    const uint32_t delay = delayAt_(frames_);
    const uint32_t takes = sendTakes_(frames_);
    ++frames_;
    Receive(data, len, test::Ticks() + delay, delay);
    test::Advance(takes);
  }

  int OnRecv(uint8_t* buf, size_t len) override {
    if (offers_.empty() || len == 0) return 0;
    const uint32_t now = test::Ticks();
    if (offers_.front().first > now) {
      // The byte comes within this poll: the poll lasts until then.
      if (offers_.front().first - now >= YM_POLL_MS) return 0;
      test::Advance(offers_.front().first - now);
    }
    buf[0] = offers_.front().second;
    offers_.pop_front();
    return 1;
  }

  int lost() const { return lost_; }
  int frames() const { return frames_; }
  const std::vector<uint8_t>& data() const { return data_; }
  // Between an answer and the clearing that follows it (ready to run, on a processor).
  bool clearing() const { return test::Ticks() < clearedAt_; }

 private:
  // The frame reaches the receiver at `arrival`.
  void Receive(const uint8_t* data, size_t len, uint32_t arrival, uint32_t delay) {
    if (arrival < clearedAt_) {
      ++lost_;
      Answer(clearedAt_ + 3000, delay, {data_.empty() ? YM_REQUEST : YM_NAK});
      return;
    }
    const bool block = len == YM_SHORT_BLOCK || len == YM_LONG_BLOCK;
    if (len == 1 && data[0] == YM_EOT) {
      ended_ = true;
      Answer(arrival, delay, {YM_ACK, YM_REQUEST});
    } else if (block && ended_) {
      Answer(arrival, delay, {YM_ACK});  // the end of batch
    } else if (block && data[1] == 0 && data_.empty()) {
      Answer(arrival, delay, {YM_ACK, YM_REQUEST});  // block 0
    } else if (block) {
      data_.insert(data_.end(), data + 3, data + len - 2);
      Answer(arrival, delay, {YM_ACK});
    }
  }

  // The receiver writes bytes at `at`; they reach the sender `delay` later.
  void Answer(uint32_t at, uint32_t delay, std::vector<uint8_t> bytes) {
    for (uint8_t byte : bytes) offers_.push_back({at + delay, byte});
    clearedAt_ = at + (bytes.back() == YM_REQUEST ? afterRequestMs_ : afterAckMs_);
  }

  uint32_t afterAckMs_;
  uint32_t afterRequestMs_;
  std::function<uint32_t(int)> delayAt_;
  std::function<uint32_t(int)> sendTakes_;
  std::deque<std::pair<uint32_t, uint8_t>> offers_;
  uint32_t clearedAt_ = 0;
  std::vector<uint8_t> data_;
  bool ended_ = false;  // the end of file has come: a block now ends the batch
  int frames_ = 0;
  int lost_ = 0;
};

using SendFilePause = FileTransferTest;

// How long rb took at the longest to clear its input after answering, as timed inside it
// on a loaded PC: after an ACK in all but one answer in a thousand, after a request in
// all of some 500.
constexpr uint32_t RB_CLEARS_AFTER_ACK_MS = 8;
constexpr uint32_t RB_CLEARS_AFTER_REQUEST_MS = 23;

// Sends a file of 10,000 bytes (block 0, 9 long and 7 short blocks, EOT: 18 sends) and
// the end of batch through the receiver; returns the pauses taken.
int SendThrough(ClearingReceiver* link, std::vector<uint8_t>* contents) {
  test::SetPeer(UPLOAD_PORT, link);
  char path[] = "/tmp/battest-pause-XXXXXX";
  int fd = mkstemp(path);
  contents->resize(10000);
  for (size_t i = 0; i < contents->size(); ++i) (*contents)[i] = static_cast<uint8_t>(i * 13);
  EXPECT_EQ(10000, write(fd, contents->data(), contents->size()));
  close(fd);
  EXPECT_EQ(10000, SendFile(path, "report.txt"));
  EXPECT_EQ(0, EndBatch());
  unlink(path);
  return Pauses();
}

// On a link without a delay (a pseudo-terminal) the receiver's answer is at the sender at
// once: every send waits, and nothing is lost.
TEST_F(SendFilePause, AReceiverThatClearsItsInputLosesNothingOnALinkWithoutDelay) {
  ClearingReceiver link(RB_CLEARS_AFTER_ACK_MS, RB_CLEARS_AFTER_REQUEST_MS,
                        [](int) { return 0u; });
  std::vector<uint8_t> sent;
  int pauses = SendThrough(&link, &sent);
  EXPECT_EQ(0, link.lost());
  EXPECT_EQ(19, link.frames());
  EXPECT_EQ(link.frames(), pauses);
  // Block 0, the first data block and the end of batch follow the receiver's requests.
  EXPECT_EQ(3, CountCalls("Sleep " + std::to_string(YM_REQUEST_PAUSE_MS)));
  ASSERT_GE(link.data().size(), sent.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), link.data().begin()));
}

// Over a link with 1 ms each way (a USB link) the answer and the block each take that
// millisecond, and a receiver that clears its input within a millisecond of an ACK has
// done so when the block comes: once the first answers have shown the delay the data
// go at once, and still nothing is lost. The end of the batch, never sent again, keeps
// its pause: the receiver here clears its input as late after a request as rb did.
TEST_F(SendFilePause, ALinkThatShowsADelayOfItsOwnIsSentToWithoutPause) {
  ClearingReceiver link(1, RB_CLEARS_AFTER_REQUEST_MS, [](int) { return 1u; });
  std::vector<uint8_t> sent;
  int pauses = SendThrough(&link, &sent);
  EXPECT_EQ(0, link.lost());
  EXPECT_EQ(static_cast<int>(YM_DELAY_ANSWERS) + 1, pauses)
      << "only the sends before the evidence, and the end of the batch";
  ASSERT_GE(link.data().size(), sent.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), link.data().begin()));
}

// One quick answer, here the third, shows a link without a delay of its own however
// slow the others come (as a receiver kept waiting on a loaded machine answers): every
// later send waits, and the receiver loses nothing when its link turns quick.
TEST_F(SendFilePause, OneQuickAnswerBringsThePauseBackForTheRestOfTheFile) {
  ClearingReceiver link(1, 1, [](int frame) { return frame == 2 || frame >= 14 ? 0u : 2u; });
  std::vector<uint8_t> sent;
  int pauses = SendThrough(&link, &sent);
  EXPECT_EQ(0, link.lost());
  EXPECT_EQ(link.frames(), pauses);
}

// A send that takes long itself (a port that blocks, a sender preempted) shows nothing
// of the link: an answer that comes soon after such a send has ended may yet have come
// late after it began. Every third send here takes 2 ms over a link with 1 ms each way;
// the other sends' answers show the delay.
TEST_F(SendFilePause, ASendThatTakesLongItselfShowsNothingOfTheLink) {
  ClearingReceiver link(
      1, 1, [](int) { return 1u; }, [](int frame) { return frame % 3 == 2 ? 2u : 0u; });
  std::vector<uint8_t> sent;
  int pauses = SendThrough(&link, &sent);
  EXPECT_EQ(0, link.lost());
  // Frames 0 to 13 give the ten late answers (every third of them decides nothing); the
  // end of the batch pauses as ever.
  EXPECT_EQ(15, pauses);
}

// On a single processor the sender woken by an answer can run before a receiver on the
// same processor has cleared its input, however long the link took: here the receiver,
// kept from the processor, clears its input 20 ms after each ACK, over a link that shows
// 3 ms each way. Each send waits until the sender is the only task ready to run.
ClearingReceiver* gSharedReceiver = nullptr;

TEST_F(SendFilePause, OnASingleProcessorEachSendWaitsUntilTheReceiverHasCleared) {
  ProcessorCount = 1;
  ClearingReceiver link(20, 60, [](int) { return 3u; });
  gSharedReceiver = &link;
  RunnableTasks = [] { return gSharedReceiver->clearing() ? 2 : 1; };
  std::vector<uint8_t> sent;
  SendThrough(&link, &sent);
  EXPECT_EQ(0, link.lost());
  ASSERT_GE(link.data().size(), sent.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), link.data().begin()));
  // A processor that stays busy holds each send back YM_SHARED_WAIT_MS at most; where
  // the system does not say what is ready to run, a short pause is all that is left.
  for (auto runnable : {+[] { return 3; }, +[] { return -1; }}) {
    test::Reset();
    ASSERT_EQ(0, OsPortOpen(UPLOAD_PORT, "115200,8,n,1"));
    ClearingReceiver again(1, 1, [](int) { return 3u; });
    RunnableTasks = runnable;
    SendThrough(&again, &sent);
    EXPECT_EQ(0, again.lost());
    const int waits = CountCalls("Sleep 1");
    if (runnable() < 0) {
      EXPECT_EQ(0, waits);
      EXPECT_EQ(again.frames(), CountCalls("Sleep " + std::to_string(YM_SHARED_PAUSE_MS)));
    } else {
      EXPECT_EQ(again.frames() * static_cast<int>(YM_SHARED_WAIT_MS), waits);
    }
  }
}

// ---- Cancel --------------------------------------------------------------------

using SendFileCancel = FileTransferTest;

TEST_F(SendFileCancel, ACancelDuringTheFirstWaitEndsWithErrAborted) {
  std::string path = MakeFile(300);
  receiver.CancelAtTick(3000);
  EXPECT_EQ(ERR_ABORTED, SendFile(path.c_str(), "report.txt"));
  EXPECT_LE(test::Ticks(), 3200u);
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(SendFileCancel, ACancelWhileWaitingForADataBlockAnswerIsAProtocolError) {
  receiver.CancelAt(2);
  EXPECT_EQ(ERR_PROTOCOL, SendNewFile(300));
  EXPECT_LE(test::Ticks(), 2 * YM_REQUEST_PAUSE_MS + YM_TURNAROUND_MS + 200u);
}

TEST_F(SendFileCancel, ACancelAfterBlock0EndsOnlyWithThe15SecondTimeout) {
  receiver.CancelAt(0);
  EXPECT_EQ(ERR_TIMEOUT, SendNewFile(300));
  EXPECT_GT(test::Ticks(), YM_REQUEST_PAUSE_MS + 15000u);
  EXPECT_LE(test::Ticks(), YM_REQUEST_PAUSE_MS + 15200u);
  EXPECT_EQ(0u, receiver.FramesOf(Frame::DATA).size());
}

TEST_F(SendFileCancel, ACancelWhileTheReceiverAnswersPromptlyRunsOnToTheEnd) {
  receiver.When(1, [] { TransferAbort.store(1); });
  EXPECT_EQ(300, SendNewFile(300));
  ExpectFileArrived();
}

// ---- Files and port failures -----------------------------------------------------

using SendFileErrors = FileTransferTest;

TEST_F(SendFileErrors, AnEmptyFileReturnsZeroWithoutAnyPortTraffic) {
  ASSERT_EQ(0, OsPortClose(UPLOAD_PORT));
  test::SetPeer(UPLOAD_PORT, nullptr);
  std::string path = MakeFile(0);
  std::vector<std::string> before = test::CallLog();
  EXPECT_EQ(0, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(before, test::CallLog());
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(SendFileErrors, AnEmptyFileLeavesAWaitingRequestUnread) {
  std::string path = MakeFile(0);
  receiver.Say(C);
  EXPECT_EQ(0, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(1u, receiver.BytesPending());
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(SendFileErrors, AMissingFileGivesErrStat) {
  receiver.Say(C);
  EXPECT_EQ(ERR_STAT, SendFile((dir_ + "/missing.txt").c_str(), "report.txt"));
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(SendFileErrors, AFileThatShrinksWhileSendingGivesErrRead) {
  std::string path = MakeFile(300);
  receiver.When(0, [path] { ASSERT_EQ(0, truncate(path.c_str(), 100)); });
  receiver.Say(C);
  EXPECT_EQ(ERR_READ, SendFile(path.c_str(), "report.txt"));
  EXPECT_EQ(1u, receiver.FramesOf(Frame::DATA).size());
}

TEST_F(SendFileErrors, APortThatRefusesBlock0GivesErrSend) {
  test::FailPortSendFrom(UPLOAD_PORT, 1);
  EXPECT_EQ(ERR_SEND, SendNewFile(300));
}

TEST_F(SendFileErrors, APortThatRefusesTheResendOfBlock0GivesErrSend) {
  receiver.Reply(0, NAK);
  test::FailPortSendFrom(UPLOAD_PORT, 2);
  EXPECT_EQ(ERR_SEND, SendNewFile(300));
}

TEST_F(SendFileErrors, APortThatRefusesADataBlockGivesErrSend) {
  test::FailPortSendFrom(UPLOAD_PORT, 3);
  EXPECT_EQ(ERR_SEND, SendNewFile(300));
  EXPECT_EQ(1u, receiver.FramesOf(Frame::DATA).size());
}

TEST_F(SendFileErrors, APortThatRefusesEotGivesErrSend) {
  test::FailPortSendFrom(UPLOAD_PORT, 5);
  EXPECT_EQ(ERR_SEND, SendNewFile(300));
  EXPECT_EQ(3u, receiver.FramesOf(Frame::DATA).size());
}

TEST_F(SendFileErrors, APortThatRefusesARepeatedEotGivesErrSend) {
  receiver.Reply(4, NAK);
  test::FailPortSendFrom(UPLOAD_PORT, 6);
  EXPECT_EQ(ERR_SEND, SendNewFile(300));
}

TEST_F(SendFileErrors, AReceiveErrorDuringTheHandshakeGivesErrRecv) {
  std::string path = MakeFile(300);
  receiver.FailReceives();
  EXPECT_EQ(ERR_RECV, SendFile(path.c_str(), "report.txt"));
}

// ---- End of batch ----------------------------------------------------------------

using EndBatchTest = FileTransferTest;

TEST_F(EndBatchTest, SendsAnEmptyBlock0AfterTheRequestAndAwaitsNoAnswer) {
  receiver.Say(C);
  ASSERT_EQ(0, EndBatch());
  std::vector<Frame> frames = receiver.Frames();
  ASSERT_EQ(1u, frames.size());
  std::vector<uint8_t> expected = {YM_SOH, 0x00, 0xFF};
  expected.resize(133, 0);
  EXPECT_EQ(expected, frames[0].bytes);
  EXPECT_EQ(1u, receiver.BytesPending()) << "the receiver's ACK is left unread";
  EXPECT_EQ(0, CountCalls("PortReset 11"));
}

TEST_F(EndBatchTest, NoRequestWithin15SecondsIsATimeout) {
  EXPECT_EQ(ERR_TIMEOUT, EndBatch());
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(EndBatchTest, ACancelDuringTheWaitEndsWithErrAborted) {
  receiver.CancelAtTick(1000);
  EXPECT_EQ(ERR_ABORTED, EndBatch());
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(EndBatchTest, APortThatRefusesTheBlockGivesErrSend) {
  receiver.Say(C);
  test::FailPortSendFrom(UPLOAD_PORT, 1);
  EXPECT_EQ(ERR_SEND, EndBatch());
}

}  // namespace
