// YMODEM block layer on the USB device port: CRC-16, block 0 and data blocks
// (the XMODEM-1K layout), single protocol bytes with a time-out, and the error
// codes and cancel flag shared by the upload.
//
// A block on the wire: header byte (SOH or STX), block number, its complement,
// the data field (128 or 1024 bytes, filled to its full size) and the CRC of the
// data field, high byte first: 133 or 1029 bytes.
#ifndef UPLOAD_TRANSFER_BLOCK_H
#define UPLOAD_TRANSFER_BLOCK_H

#include <atomic>
#include <cstdint>

// Protocol bytes.
constexpr uint8_t YM_SOH = 0x01;      // header of a 128-byte block
constexpr uint8_t YM_STX = 0x02;      // header of a 1024-byte block
constexpr uint8_t YM_EOT = 0x04;      // end of file
constexpr uint8_t YM_ACK = 0x06;      // block accepted
constexpr uint8_t YM_NAK = 0x15;      // block refused, send it again
constexpr uint8_t YM_REQUEST = 0x43;  // 'C': the receiver asks for a file (CRC-16 mode)
constexpr uint8_t YM_FILL = 0x1A;     // fills the data field after the last data byte

// Sizes in bytes.
constexpr uint32_t YM_SHORT_FIELD = 128;     // data field of an SOH block
constexpr uint32_t YM_LONG_FIELD = 1024;     // data field of an STX block
constexpr uint32_t YM_SHORT_BLOCK = 133;     // SOH block on the wire
constexpr uint32_t YM_LONG_BLOCK = 1029;     // STX block on the wire; the size of a block buffer
constexpr uint32_t YM_NAME_FIELD_MAX = 1023; // name, its NUL and the size text in block 0

// Times in milliseconds.
constexpr uint32_t YM_WAIT_MS = 15000;  // longest wait for an expected answer
constexpr uint32_t YM_POLL_MS = 200;    // one port poll; a cancel is noticed between polls
constexpr uint32_t YM_REPEAT_MS = 2000;  // a request later than this after a block repeats it

// The pause before a send (file_transfer.cpp), after the answer the send follows.
constexpr uint32_t YM_TURNAROUND_MS = 10;  // unless the link has shown a delay of its own
constexpr uint32_t YM_REQUEST_PAUSE_MS = 50;  // the same, after a request ('C')
constexpr uint32_t YM_SHARED_WAIT_MS = 100; // on a single processor, the longest wait for it
constexpr uint32_t YM_SHARED_PAUSE_MS = 2;  // there, where the system does not say what runs
constexpr uint32_t YM_LINK_DELAY_MS = 2;   // an answer this late may have crossed a delay
constexpr uint32_t YM_DELAY_ANSWERS = 10;  // that many late answers, none quicker, show one

// Negative results of the upload layers.
enum TransferError : int {
  ERR_SEND = -1,       // the port refused to send
  ERR_RECV = -2,       // the port reported a receive error
  ERR_TIMEOUT = -3,    // no expected answer within 15 s
  ERR_PROTOCOL = -4,   // unexpected answer, or no answer to a data block or EOT
  ERR_ABORTED = -5,    // the user cancelled
  ERR_TOO_LONG = -7,   // data does not fit the block, or a bad block header byte
  ERR_RETRIES = -8,    // the receiver refused a fourth time
  ERR_CRC = -9,        // a received block's CRC does not match
  ERR_OPEN = -10,      // opening the file failed
  ERR_STAT = -11,      // reading the file's status failed
  ERR_READ = -12       // reading the file failed
};

// Cancel flag: 0 normally, 1 once the user cancels. Written by the UI thread,
// read by the upload worker between port polls.
extern std::atomic<int> TransferAbort;

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no reflection, no final XOR).
uint16_t Crc16(const uint8_t* data, uint32_t length);

// Sends block 0 holding name, a NUL and size in decimal. Returns 0, ERR_SEND,
// or ERR_TOO_LONG when name and size text exceed 1023 bytes.
int SendHeaderBlock(const char* name, uint32_t size);

// Sends length bytes (at most 1024) as block number, filled with 0x1A: a 128-byte
// block up to 128 bytes, else a 1024-byte block. Returns 0, ERR_SEND or ERR_TOO_LONG.
int SendDataBlock(uint8_t number, const uint8_t* data, uint32_t length);

// Waits for one byte: the byte (0-255), or ERR_RECV, ERR_ABORTED (cancel noticed
// on an empty poll) or ERR_TIMEOUT (15 s without a byte).
int ReceiveByte();

// The same with a wait of waitMs: for a wait that has a deadline of its own, so that a
// byte late in it does not start another full wait. At least one poll is made.
int ReceiveByteWithin(uint32_t waitMs);

// Receives the rest of a block whose header byte is already in block[0]; block holds
// at least 1029 bytes. Returns the count received after the header (132 or 1028), or
// ERR_TOO_LONG, ERR_TIMEOUT, ERR_ABORTED, ERR_RECV or ERR_CRC.
int ReceiveBlock(uint8_t* block);

#endif
