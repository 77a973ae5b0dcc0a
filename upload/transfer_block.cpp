// YMODEM block layer: CRC-16, block building and sending, byte and block reception.
#include "upload/transfer_block.h"

#include <cstdio>
#include <cstring>

#include "platform/terminal_services.h"

std::atomic<int> TransferAbort{0};

namespace {

// Offsets within a block on the wire.
constexpr uint32_t BLK_HEADER = 0;
constexpr uint32_t BLK_NUMBER = 1;
constexpr uint32_t BLK_COMPLEMENT = 2;
constexpr uint32_t BLK_FIELD = 3;
// Header, number and complement before the field, CRC after it.
constexpr uint32_t BLK_OVERHEAD = 5;

struct CrcTable {
  uint16_t entry[256];
};

constexpr CrcTable MakeCrcTable() {
  CrcTable table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) != 0 ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                : static_cast<uint16_t>(crc << 1);
    }
    table.entry[i] = crc;
  }
  return table;
}

constexpr CrcTable CRC_TABLE = MakeCrcTable();

bool AbortRequested() { return TransferAbort.load(std::memory_order_relaxed) != 0; }

// Completes the block in buffer (data field already in place: fieldSize bytes at
// offset 3) with header, number, complement and CRC, and sends it.
int SendBlock(uint8_t* block, uint8_t number, uint32_t fieldSize) {
  block[BLK_HEADER] = fieldSize == YM_SHORT_FIELD ? YM_SOH : YM_STX;
  block[BLK_NUMBER] = number;
  block[BLK_COMPLEMENT] = static_cast<uint8_t>(255 - number);
  uint16_t crc = Crc16(block + BLK_FIELD, fieldSize);
  block[BLK_FIELD + fieldSize] = static_cast<uint8_t>(crc >> 8);
  block[BLK_FIELD + fieldSize + 1] = static_cast<uint8_t>(crc & 0xFF);
  return OsPortSend(UPLOAD_PORT, block, fieldSize + BLK_OVERHEAD) != 0 ? ERR_SEND : 0;
}

}  // namespace

uint16_t Crc16(const uint8_t* data, uint32_t length) {
  uint16_t crc = 0;
  for (uint32_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ CRC_TABLE.entry[((crc >> 8) ^ data[i]) & 0xFF]);
  }
  return crc;
}

int SendHeaderBlock(const char* name, uint32_t size) {
  char sizeText[16];
  std::snprintf(sizeText, sizeof sizeText, "%u", static_cast<unsigned>(size));
  size_t nameLength = std::strlen(name);
  size_t textLength = std::strlen(sizeText);
  size_t used = nameLength + 1 + textLength;
  if (used > YM_NAME_FIELD_MAX) return ERR_TOO_LONG;

  uint8_t block[YM_LONG_BLOCK];
  std::memset(block, 0, sizeof block);
  std::memcpy(block + BLK_FIELD, name, nameLength);
  std::memcpy(block + BLK_FIELD + nameLength + 1, sizeText, textLength);
  uint32_t fieldSize = used < YM_SHORT_FIELD ? YM_SHORT_FIELD : YM_LONG_FIELD;
  return SendBlock(block, 0, fieldSize);
}

int SendDataBlock(uint8_t number, const uint8_t* data, uint32_t length) {
  if (length > YM_LONG_FIELD) return ERR_TOO_LONG;
  uint32_t fieldSize = length <= YM_SHORT_FIELD ? YM_SHORT_FIELD : YM_LONG_FIELD;
  uint8_t block[YM_LONG_BLOCK];
  if (length > 0) std::memcpy(block + BLK_FIELD, data, length);
  std::memset(block + BLK_FIELD + length, YM_FILL, fieldSize - length);
  return SendBlock(block, number, fieldSize);
}

int ReceiveByte() { return ReceiveByteWithin(YM_WAIT_MS); }

int ReceiveByteWithin(uint32_t waitMs) {
  uint32_t start = OsGetTickCount();
  for (;;) {
    uint8_t byte = 0;
    int received = OsPortRecv(UPLOAD_PORT, &byte, 1, YM_POLL_MS);
    if (received > 0) return byte;
    if (received < 0) return ERR_RECV;
    if (AbortRequested()) return ERR_ABORTED;
    if (OsGetTickCount() - start >= waitMs) return ERR_TIMEOUT;
  }
}

int ReceiveBlock(uint8_t* block) {
  uint32_t fieldSize;
  if (block[BLK_HEADER] == YM_SOH) {
    fieldSize = YM_SHORT_FIELD;
  } else if (block[BLK_HEADER] == YM_STX) {
    fieldSize = YM_LONG_FIELD;
  } else {
    return ERR_TOO_LONG;
  }
  uint32_t expected = fieldSize + BLK_OVERHEAD - 1;
  uint32_t received = 0;
  uint32_t start = OsGetTickCount();
  while (received < expected) {
    if (OsGetTickCount() - start > YM_WAIT_MS) return ERR_TIMEOUT;
    if (AbortRequested()) return ERR_ABORTED;
    int count = OsPortRecv(UPLOAD_PORT, block + 1 + received, expected - received, YM_POLL_MS);
    if (count < 0) return ERR_RECV;
    received += static_cast<uint32_t>(count);
  }
  uint16_t crc = Crc16(block + BLK_FIELD, fieldSize);
  uint16_t sent = static_cast<uint16_t>((block[BLK_FIELD + fieldSize] << 8) |
                                        block[BLK_FIELD + fieldSize + 1]);
  return crc == sent ? static_cast<int>(expected) : ERR_CRC;
}
