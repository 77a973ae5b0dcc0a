// A scripted YMODEM receiver on the fake upload port.
//
// It records every send of the terminal as a frame (a block or a lone byte), keeps
// a transcript of both directions, and answers each frame like a cooperative
// receiver (block 0: ACK and 'C'; data block: ACK; EOT: ACK and 'C' for the next
// file; empty block 0: ACK) unless the script says otherwise for that frame.
// Bytes can also be offered at a chosen virtual time, and a cancel
// (TransferAbort = 1) can be raised at a frame or at a virtual time.
#ifndef TESTS_UPLOAD_SCRIPTED_RECEIVER_H
#define TESTS_UPLOAD_SCRIPTED_RECEIVER_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/fakes/fake_terminal_services.h"

namespace test {

// One send of the terminal, as the receiver parsed it.
struct Frame {
  enum Kind { HEADER, DATA, END_OF_FILE, OTHER };
  Kind kind = OTHER;
  std::vector<uint8_t> bytes;   // as sent
  std::vector<uint8_t> reply;   // what the receiver answered
  int file = -1;                // 0 for the batch's first file, 1 for the next, ...

  bool IsBlock() const;
  uint8_t Header() const { return bytes.at(0); }
  uint8_t Number() const { return bytes.at(1); }
  uint8_t Complement() const { return bytes.at(2); }
  size_t FieldSize() const { return bytes.size() - 5; }
  std::vector<uint8_t> Field() const;
  bool CrcMatches() const;       // the two bytes after the field are its CRC, high first
  bool Acknowledged() const { return !reply.empty() && reply[0] == 0x06; }
  // Block 0 contents: the name up to the first zero byte, and the size text after it.
  std::string Name() const;
  std::string SizeText() const;
};

class ScriptedReceiver : public test::PortPeer {
 public:
  // Offers bytes now (after what is already waiting).
  void Say(const std::vector<uint8_t>& bytes);
  // Offers bytes not before the virtual time tick (ms).
  void SayAt(uint32_t tick, const std::vector<uint8_t>& bytes);
  // The answer to the frame with this index (0 = the first send), instead of the
  // cooperative one; an empty reply is silence.
  void Reply(int frame, const std::vector<uint8_t>& reply);
  // Runs action when the frame with this index arrives (before the answer is queued).
  void When(int frame, std::function<void()> action);
  // Sets TransferAbort when the frame arrives, and stays silent to it.
  void CancelAt(int frame);
  // Sets TransferAbort once the virtual clock reaches tick.
  void CancelAtTick(uint32_t tick);
  // Every receive from now on reports a port error.
  void FailReceives() { failReceives_ = true; }
  // Hands out at most this many bytes per receive (default: as many as asked).
  void LimitChunk(size_t bytes) { chunk_ = bytes; }
  // Until released() holds, a receive that would bring nothing waits for it in real
  // time instead of letting the virtual clock run on: another thread of the test (the
  // UI's, say) then acts before the terminal's time-outs can pass, however the threads
  // are scheduled. Gives up with a test failure after a minute.
  void HoldSilenceUntil(std::function<bool()> released);

  std::vector<Frame> Frames() const;
  std::vector<Frame> FramesOf(Frame::Kind kind) const;
  // "<C", ">SOH #0 \"name\" 2100", "<ACK", ">STX #1", ">EOT", ... in wire order.
  std::vector<std::string> Transcript() const;
  // The data fields of the acknowledged data blocks of one file of the batch
  // (0 = the first), in order.
  std::vector<uint8_t> AcceptedData(int file = 0) const;
  size_t BytesReceived() const;   // all bytes the terminal sent
  size_t BytesPending() const;    // offered bytes not yet taken by the terminal

  void OnSend(const uint8_t* data, size_t len) override;
  int OnRecv(uint8_t* buf, size_t len) override;

 private:
  struct Offer {
    uint32_t tick;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> CooperativeReply(const Frame& frame) const;

  mutable std::mutex mutex_;
  std::deque<Offer> offers_;
  std::map<int, std::vector<uint8_t>> replies_;
  std::map<int, std::function<void()>> actions_;
  std::vector<Frame> frames_;
  std::vector<std::string> transcript_;
  bool expectHeader_ = true;
  int files_ = 0;               // files whose block 0 has arrived
  bool failReceives_ = false;
  size_t chunk_ = 0;
  uint32_t cancelTick_ = 0;
  bool cancelByTick_ = false;
  std::function<bool()> released_;
};

// Name of a protocol byte for transcripts: "C", "ACK", "NAK", "EOT" or "0x41".
std::string ByteName(uint8_t byte);

}  // namespace test

#endif
