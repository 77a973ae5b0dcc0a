#include "tests/upload/scripted_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "upload/transfer_block.h"

namespace test {

namespace {

std::string Describe(const Frame& frame) {
  if (frame.kind == Frame::END_OF_FILE) return ">EOT";
  if (!frame.IsBlock()) {
    std::string text = ">";
    for (uint8_t byte : frame.bytes) text += " " + ByteName(byte);
    return text;
  }
  std::string text = frame.Header() == YM_SOH ? ">SOH #" : ">STX #";
  text += std::to_string(frame.Number());
  if (frame.kind == Frame::HEADER) {
    text += frame.Name().empty() ? " empty" : " \"" + frame.Name() + "\" " + frame.SizeText();
  }
  return text;
}

}  // namespace

std::string ByteName(uint8_t byte) {
  switch (byte) {
    case YM_REQUEST: return "C";
    case YM_ACK: return "ACK";
    case YM_NAK: return "NAK";
    case YM_EOT: return "EOT";
    default: {
      char text[8];
      std::snprintf(text, sizeof text, "0x%02X", byte);
      return text;
    }
  }
}

bool Frame::IsBlock() const {
  return (bytes.size() == YM_SHORT_BLOCK && bytes[0] == YM_SOH) ||
         (bytes.size() == YM_LONG_BLOCK && bytes[0] == YM_STX);
}

std::vector<uint8_t> Frame::Field() const {
  return std::vector<uint8_t>(bytes.begin() + 3, bytes.end() - 2);
}

bool Frame::CrcMatches() const {
  std::vector<uint8_t> field = Field();
  uint16_t crc = Crc16(field.data(), static_cast<uint32_t>(field.size()));
  return bytes[bytes.size() - 2] == (crc >> 8) && bytes[bytes.size() - 1] == (crc & 0xFF);
}

std::string Frame::Name() const {
  std::vector<uint8_t> field = Field();
  auto end = std::find(field.begin(), field.end(), 0);
  return std::string(field.begin(), end);
}

std::string Frame::SizeText() const {
  std::vector<uint8_t> field = Field();
  auto start = std::find(field.begin(), field.end(), 0);
  if (start == field.end()) return "";
  ++start;
  return std::string(start, std::find(start, field.end(), 0));
}

void ScriptedReceiver::Say(const std::vector<uint8_t>& bytes) { SayAt(0, bytes); }

void ScriptedReceiver::SayAt(uint32_t tick, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!bytes.empty()) offers_.push_back(Offer{tick, bytes});
}

void ScriptedReceiver::Reply(int frame, const std::vector<uint8_t>& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[frame] = reply;
}

void ScriptedReceiver::When(int frame, std::function<void()> action) {
  std::lock_guard<std::mutex> lock(mutex_);
  actions_[frame] = std::move(action);
}

void ScriptedReceiver::CancelAt(int frame) {
  When(frame, [] { TransferAbort.store(1); });
  Reply(frame, {});
}

void ScriptedReceiver::CancelAtTick(uint32_t tick) {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelTick_ = tick;
  cancelByTick_ = true;
}

std::vector<Frame> ScriptedReceiver::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

std::vector<Frame> ScriptedReceiver::FramesOf(Frame::Kind kind) const {
  std::vector<Frame> all = Frames();
  std::vector<Frame> chosen;
  for (const Frame& frame : all) {
    if (frame.kind == kind) chosen.push_back(frame);
  }
  return chosen;
}

std::vector<std::string> ScriptedReceiver::Transcript() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transcript_;
}

std::vector<uint8_t> ScriptedReceiver::AcceptedData(int file) const {
  std::vector<uint8_t> data;
  for (const Frame& frame : FramesOf(Frame::DATA)) {
    if (frame.file != file || !frame.Acknowledged()) continue;
    std::vector<uint8_t> field = frame.Field();
    data.insert(data.end(), field.begin(), field.end());
  }
  return data;
}

size_t ScriptedReceiver::BytesReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t total = 0;
  for (const Frame& frame : frames_) total += frame.bytes.size();
  return total;
}

size_t ScriptedReceiver::BytesPending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t total = 0;
  for (const Offer& offer : offers_) total += offer.bytes.size();
  return total;
}

std::vector<uint8_t> ScriptedReceiver::CooperativeReply(const Frame& frame) const {
  switch (frame.kind) {
    case Frame::HEADER:
      if (frame.Name().empty()) return {YM_ACK};
      return {YM_ACK, YM_REQUEST};
    case Frame::DATA:
      return {YM_ACK};
    case Frame::END_OF_FILE:
      return {YM_ACK, YM_REQUEST};
    default:
      return {YM_NAK};
  }
}

void ScriptedReceiver::OnSend(const uint8_t* data, size_t len) {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Frame frame;
    frame.bytes.assign(data, data + len);
    if (len == 1 && data[0] == YM_EOT) {
      frame.kind = Frame::END_OF_FILE;
    } else if (frame.IsBlock()) {
      // Between files a block numbered 0 is block 0 (sent again while refused);
      // the first block with another number starts the data.
      frame.kind = expectHeader_ && frame.Number() == 0 ? Frame::HEADER : Frame::DATA;
    }
    bool newFile = frame.kind == Frame::HEADER && !frame.Name().empty() &&
                   (frames_.empty() || frames_.back().kind != Frame::HEADER);
    if (newFile) ++files_;
    if (frame.kind == Frame::DATA) expectHeader_ = false;
    frame.file = files_ - 1;
    int index = static_cast<int>(frames_.size());
    auto scripted = replies_.find(index);
    frame.reply = scripted != replies_.end() ? scripted->second : CooperativeReply(frame);
    if (frame.kind == Frame::END_OF_FILE && frame.Acknowledged()) expectHeader_ = true;
    transcript_.push_back(Describe(frame));
    if (!frame.reply.empty()) offers_.push_back(Offer{0, frame.reply});
    frames_.push_back(std::move(frame));
    auto found = actions_.find(index);
    if (found != actions_.end()) action = found->second;
  }
  if (action) action();
}

void ScriptedReceiver::HoldSilenceUntil(std::function<bool()> released) {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = std::move(released);
}

int ScriptedReceiver::OnRecv(uint8_t* buf, size_t len) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (cancelByTick_ && test::Ticks() >= cancelTick_) TransferAbort.store(1);
  if (failReceives_) return -5;
  if (offers_.empty() || offers_.front().tick > test::Ticks()) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (released_ && !released_()) {
      if (std::chrono::steady_clock::now() > giveUp) {
        ADD_FAILURE() << "the receiver's silence was never released";
        released_ = nullptr;
        break;
      }
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      lock.lock();
    }
    return 0;
  }
  std::vector<uint8_t>& bytes = offers_.front().bytes;
  size_t count = std::min(len, bytes.size());
  if (chunk_ != 0) count = std::min(count, chunk_);
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count), buf);
  for (size_t i = 0; i < count; ++i) transcript_.push_back("<" + ByteName(bytes[i]));
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
  if (bytes.empty()) offers_.pop_front();
  return static_cast<int>(count);
}

}  // namespace test
