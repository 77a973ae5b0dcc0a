// The block layer: CRC-16, block 0 and data blocks as they appear on the port,
// single-byte reception with time-out and cancel, and block reception.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fakes/fake_terminal_services.h"
#include "tests/upload/scripted_receiver.h"
#include "upload/transfer_block.h"

namespace {

using test::Frame;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Pattern(size_t length) {
  std::vector<uint8_t> data(length);
  for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

// A complete block as a sender would put it on the wire.
std::vector<uint8_t> WireBlock(uint8_t header, uint8_t number, const std::vector<uint8_t>& field) {
  std::vector<uint8_t> block(field.size() + 5);
  block[0] = header;
  block[1] = number;
  block[2] = static_cast<uint8_t>(255 - number);
  std::copy(field.begin(), field.end(), block.begin() + 3);
  uint16_t crc = Crc16(field.data(), static_cast<uint32_t>(field.size()));
  block[field.size() + 3] = static_cast<uint8_t>(crc >> 8);
  block[field.size() + 4] = static_cast<uint8_t>(crc & 0xFF);
  return block;
}

class UploadPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Reset();
    TransferAbort.store(0);
    ASSERT_EQ(0, OsPortOpen(UPLOAD_PORT, "115200,8,n,1"));
    test::SetPeer(UPLOAD_PORT, &receiver);
  }
  void TearDown() override {
    test::SetPeer(UPLOAD_PORT, nullptr);
    TransferAbort.store(0);
  }

  Frame OnlyFrame() {
    std::vector<Frame> frames = receiver.Frames();
    EXPECT_EQ(1u, frames.size());
    return frames.empty() ? Frame() : frames[0];
  }

  test::ScriptedReceiver receiver;
};

// ---- CRC-16 ------------------------------------------------------------------

TEST(Crc16, CheckValueOfTheDigitsOneToNineIs31C3) {
  std::vector<uint8_t> digits = Bytes("123456789");
  EXPECT_EQ(0x31C3, Crc16(digits.data(), 9));
}

TEST(Crc16, NothingGivesZero) {
  EXPECT_EQ(0, Crc16(nullptr, 0));
}

TEST(Crc16, DataFollowedByItsCrcHighByteFirstLeavesZero) {
  std::vector<uint8_t> data = Pattern(1024);
  uint16_t crc = Crc16(data.data(), 1024);
  data.push_back(static_cast<uint8_t>(crc >> 8));
  data.push_back(static_cast<uint8_t>(crc & 0xFF));
  EXPECT_EQ(0, Crc16(data.data(), 1026));
}

TEST(Crc16, SingleBitChangesAreDetected) {
  std::vector<uint8_t> data = Pattern(128);
  uint16_t original = Crc16(data.data(), 128);
  data[77] ^= 0x10;
  EXPECT_NE(original, Crc16(data.data(), 128));
}

// ---- Block 0 -----------------------------------------------------------------

using HeaderBlock = UploadPortTest;

TEST_F(HeaderBlock, FiveCharacterNameAndSize512FillA128ByteBlockWithZeros) {
  ASSERT_EQ(0, SendHeaderBlock("a.txt", 512));
  Frame frame = OnlyFrame();
  ASSERT_EQ(133u, frame.bytes.size());
  EXPECT_EQ(YM_SOH, frame.Header());
  EXPECT_EQ(0, frame.Number());
  EXPECT_EQ(0xFF, frame.Complement());
  std::vector<uint8_t> field(128, 0);
  std::memcpy(field.data(), "a.txt\0" "512", 9);
  EXPECT_EQ(field, frame.Field());
  EXPECT_TRUE(frame.CrcMatches());
}

TEST_F(HeaderBlock, NameAndSizeOf127BytesStillFitA128ByteBlock) {
  ASSERT_EQ(0, SendHeaderBlock(std::string(123, 'n').c_str(), 512));  // 123 + 1 + 3
  Frame frame = OnlyFrame();
  ASSERT_EQ(133u, frame.bytes.size());
  EXPECT_EQ(YM_SOH, frame.Header());
  EXPECT_EQ("512", frame.SizeText());
  EXPECT_EQ(0, frame.Field()[127]);
}

TEST_F(HeaderBlock, NameAndSizeOf128BytesTakeA1024ByteBlock) {
  ASSERT_EQ(0, SendHeaderBlock(std::string(124, 'n').c_str(), 512));
  Frame frame = OnlyFrame();
  ASSERT_EQ(1029u, frame.bytes.size());
  EXPECT_EQ(YM_STX, frame.Header());
  EXPECT_EQ(std::string(124, 'n'), frame.Name());
  EXPECT_EQ("512", frame.SizeText());
  std::vector<uint8_t> field = frame.Field();
  EXPECT_EQ(std::vector<uint8_t>(1024 - 128, 0), std::vector<uint8_t>(field.begin() + 128, field.end()));
  EXPECT_TRUE(frame.CrcMatches());
}

TEST_F(HeaderBlock, NameAndSizeOf1023BytesStillFit) {
  ASSERT_EQ(0, SendHeaderBlock(std::string(1019, 'n').c_str(), 512));
  EXPECT_EQ(1029u, OnlyFrame().bytes.size());
}

TEST_F(HeaderBlock, NameAndSizeOf1024BytesAreRefusedAndNothingIsSent) {
  EXPECT_EQ(ERR_TOO_LONG, SendHeaderBlock(std::string(1020, 'n').c_str(), 512));
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(HeaderBlock, SizeIsWrittenAsUnsignedDecimal) {
  ASSERT_EQ(0, SendHeaderBlock("big.bin", 4294967295u));
  EXPECT_EQ("4294967295", OnlyFrame().SizeText());
}

TEST_F(HeaderBlock, PortRefusalGivesErrSend) {
  test::FailPortSendFrom(UPLOAD_PORT, 1);
  EXPECT_EQ(ERR_SEND, SendHeaderBlock("a.txt", 512));
}

// ---- Data blocks ---------------------------------------------------------------

using DataBlock = UploadPortTest;

TEST_F(DataBlock, ExactlyOneShortFieldTravelsWithoutFill) {
  std::vector<uint8_t> data = Pattern(128);
  ASSERT_EQ(0, SendDataBlock(5, data.data(), 128));
  Frame frame = OnlyFrame();
  ASSERT_EQ(133u, frame.bytes.size());
  EXPECT_EQ(YM_SOH, frame.Header());
  EXPECT_EQ(5, frame.Number());
  EXPECT_EQ(250, frame.Complement());
  EXPECT_EQ(data, frame.Field());
  EXPECT_TRUE(frame.CrcMatches());
}

TEST_F(DataBlock, OneByteMoreTakesALongBlockWith895FillBytes) {
  std::vector<uint8_t> data = Pattern(129);
  ASSERT_EQ(0, SendDataBlock(1, data.data(), 129));
  Frame frame = OnlyFrame();
  ASSERT_EQ(1029u, frame.bytes.size());
  EXPECT_EQ(YM_STX, frame.Header());
  std::vector<uint8_t> expected = data;
  expected.resize(1024, YM_FILL);
  EXPECT_EQ(expected, frame.Field());
  EXPECT_TRUE(frame.CrcMatches());
}

TEST_F(DataBlock, ShortDataIsFilledWith1AToTheEndOfTheField) {
  std::vector<uint8_t> data = Pattern(52);
  ASSERT_EQ(0, SendDataBlock(3, data.data(), 52));
  std::vector<uint8_t> expected = data;
  expected.resize(128, YM_FILL);
  Frame frame = OnlyFrame();
  EXPECT_EQ(expected, frame.Field());
  EXPECT_TRUE(frame.CrcMatches());
}

TEST_F(DataBlock, AFullLongFieldHasNoFill) {
  std::vector<uint8_t> data = Pattern(1024);
  ASSERT_EQ(0, SendDataBlock(9, data.data(), 1024));
  Frame frame = OnlyFrame();
  EXPECT_EQ(YM_STX, frame.Header());
  EXPECT_EQ(data, frame.Field());
}

TEST_F(DataBlock, MoreThan1024BytesAreRefusedAndNothingIsSent) {
  std::vector<uint8_t> data = Pattern(1025);
  EXPECT_EQ(ERR_TOO_LONG, SendDataBlock(1, data.data(), 1025));
  EXPECT_EQ(0u, receiver.BytesReceived());
}

TEST_F(DataBlock, BlockNumber255IsFollowedByComplementZero) {
  std::vector<uint8_t> data = Pattern(10);
  ASSERT_EQ(0, SendDataBlock(255, data.data(), 10));
  Frame frame = OnlyFrame();
  EXPECT_EQ(255, frame.Number());
  EXPECT_EQ(0, frame.Complement());
}

TEST_F(DataBlock, PortRefusalGivesErrSend) {
  std::vector<uint8_t> data = Pattern(10);
  test::FailPortSendFrom(UPLOAD_PORT, 1);
  EXPECT_EQ(ERR_SEND, SendDataBlock(1, data.data(), 10));
}

// ---- One byte ------------------------------------------------------------------

using ReceiveByteTest = UploadPortTest;

TEST_F(ReceiveByteTest, AWaitingByteIsReturnedAtOnce) {
  receiver.Say({YM_REQUEST});
  EXPECT_EQ(YM_REQUEST, ReceiveByte());
  EXPECT_EQ(0u, test::Ticks());
}

TEST_F(ReceiveByteTest, ByteFFIsReturnedAs255NotAsAnError) {
  receiver.Say({0xFF});
  EXPECT_EQ(255, ReceiveByte());
}

TEST_F(ReceiveByteTest, AByteThatArrivesWhileCancelledIsStillReturned) {
  TransferAbort.store(1);
  receiver.Say({YM_ACK});
  EXPECT_EQ(YM_ACK, ReceiveByte());
  EXPECT_EQ(ERR_ABORTED, ReceiveByte());
}

TEST_F(ReceiveByteTest, FifteenSecondsOfSilenceIsATimeout) {
  EXPECT_EQ(ERR_TIMEOUT, ReceiveByte());
  EXPECT_EQ(15000u, test::Ticks());
}

TEST_F(ReceiveByteTest, AByteJustBeforeFifteenSecondsIsReturned) {
  receiver.SayAt(14800, {YM_NAK});
  EXPECT_EQ(YM_NAK, ReceiveByte());
}

TEST_F(ReceiveByteTest, TheTimeoutHoldsAcrossTheWrapOfTheTickCounter) {
  test::SetTicks(0xFFFFFF00u);
  EXPECT_EQ(ERR_TIMEOUT, ReceiveByte());
  EXPECT_EQ(15000u, test::Ticks() - 0xFFFFFF00u);
}

TEST_F(ReceiveByteTest, ACancelIsNoticedOnTheNextEmptyPoll) {
  receiver.CancelAtTick(3000);
  EXPECT_EQ(ERR_ABORTED, ReceiveByte());
  EXPECT_LE(test::Ticks(), 3200u);
}

TEST_F(ReceiveByteTest, APortErrorGivesErrRecv) {
  receiver.FailReceives();
  EXPECT_EQ(ERR_RECV, ReceiveByte());
}

// ---- Whole blocks --------------------------------------------------------------

class ReceiveBlockTest : public UploadPortTest {
 protected:
  // Offers the block without its header byte, which the caller already holds.
  int Receive(const std::vector<uint8_t>& wire) {
    receiver.Say(std::vector<uint8_t>(wire.begin() + 1, wire.end()));
    buffer.assign(1029, 0);
    buffer[0] = wire[0];
    return ReceiveBlock(buffer.data());
  }
  std::vector<uint8_t> buffer;
};

TEST_F(ReceiveBlockTest, AGoodShortBlockGives132Bytes) {
  std::vector<uint8_t> wire = WireBlock(YM_SOH, 1, Pattern(128));
  EXPECT_EQ(132, Receive(wire));
  EXPECT_EQ(wire, std::vector<uint8_t>(buffer.begin(), buffer.begin() + 133));
}

TEST_F(ReceiveBlockTest, AGoodLongBlockArrivingInPiecesGives1028Bytes) {
  receiver.LimitChunk(100);
  std::vector<uint8_t> wire = WireBlock(YM_STX, 2, Pattern(1024));
  EXPECT_EQ(1028, Receive(wire));
  EXPECT_EQ(wire, buffer);
}

TEST_F(ReceiveBlockTest, BlockNumberAndComplementAreNotCompared) {
  std::vector<uint8_t> wire = WireBlock(YM_SOH, 1, Pattern(128));
  wire[2] = 0x42;
  EXPECT_EQ(132, Receive(wire));
}

TEST_F(ReceiveBlockTest, ADamagedDataFieldGivesErrCrc) {
  std::vector<uint8_t> wire = WireBlock(YM_SOH, 1, Pattern(128));
  wire[40] ^= 0x01;
  EXPECT_EQ(ERR_CRC, Receive(wire));
}

TEST_F(ReceiveBlockTest, AHeaderByteOtherThanSohOrStxGivesErrTooLong) {
  std::vector<uint8_t> wire = WireBlock(YM_SOH, 1, Pattern(128));
  wire[0] = YM_EOT;
  EXPECT_EQ(ERR_TOO_LONG, Receive(wire));
  EXPECT_EQ(132u, receiver.BytesPending());
}

TEST_F(ReceiveBlockTest, ABlockThatStopsHalfwayTimesOutAfter15Seconds) {
  std::vector<uint8_t> wire = WireBlock(YM_SOH, 1, Pattern(128));
  wire.resize(60);
  EXPECT_EQ(ERR_TIMEOUT, Receive(wire));
  EXPECT_GT(test::Ticks(), 15000u);
  EXPECT_LE(test::Ticks(), 15200u);
}

TEST_F(ReceiveBlockTest, ACancelStopsTheWait) {
  std::vector<uint8_t> wire = WireBlock(YM_SOH, 1, Pattern(128));
  wire.resize(60);
  receiver.CancelAtTick(1000);
  EXPECT_EQ(ERR_ABORTED, Receive(wire));
  EXPECT_LE(test::Ticks(), 1200u);
}

TEST_F(ReceiveBlockTest, APortErrorGivesErrRecv) {
  receiver.FailReceives();
  EXPECT_EQ(ERR_RECV, Receive(WireBlock(YM_SOH, 1, Pattern(128))));
}

}  // namespace
