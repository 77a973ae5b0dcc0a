// YMODEM sender figures: CRC-16 throughput, and whole files sent to a receiver on
// the fake upload port that answers at once (so the figures are the sender's own
// cost: reading the file, building blocks, CRCs and the protocol loop).
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "tests/fakes/fake_terminal_services.h"
#include "upload/file_transfer.h"

namespace {

// Answers every block and EOT at once, like a cooperative YMODEM receiver.
class InstantReceiver : public test::PortPeer {
 public:
  InstantReceiver() { replies_.push_back(YM_REQUEST); }
  void OnSend(const uint8_t* data, size_t len) override {
    if (len == 1 && data[0] == YM_EOT) {
      replies_.insert(replies_.end(), {YM_ACK, YM_REQUEST});
      betweenFiles_ = true;
    } else if (betweenFiles_ && len > 1 && data[1] == 0) {
      replies_.insert(replies_.end(), {YM_ACK, YM_REQUEST});  // block 0
    } else {
      replies_.push_back(YM_ACK);
      betweenFiles_ = false;
      ++dataBlocks_;
    }
  }
  int OnRecv(uint8_t* buf, size_t len) override {
    if (replies_.empty() || len == 0) return 0;
    buf[0] = replies_.front();
    replies_.pop_front();
    return 1;
  }
  size_t dataBlocks() const { return dataBlocks_; }

 private:
  std::deque<uint8_t> replies_;
  bool betweenFiles_ = true;
  size_t dataBlocks_ = 0;
};

void BM_Crc16(benchmark::State& state) {
  std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
  std::mt19937 random(1);
  for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
  for (auto _ : state) {
    benchmark::DoNotOptimize(Crc16(data.data(), static_cast<uint32_t>(data.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(128)->Arg(1024);

void BM_SendFile(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  char path[] = "/tmp/battest-bench-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  std::vector<uint8_t> contents(size);
  std::mt19937 random(2);
  for (uint8_t& byte : contents) byte = static_cast<uint8_t>(random());
  bool written = write(fd, contents.data(), size) == static_cast<ssize_t>(size);
  close(fd);

  test::Reset();
  InstantReceiver receiver;
  OsPortOpen(UPLOAD_PORT, "115200,8,n,1");
  test::SetPeer(UPLOAD_PORT, &receiver);
  if (!written) state.SkipWithError("temporary file not written");
  for (auto _ : state) {
    if (!written) break;
    int result = SendFile(path, "report.txt");
    if (result != static_cast<int>(size)) {
      state.SkipWithError("SendFile failed");
      break;
    }
  }
  test::SetPeer(UPLOAD_PORT, nullptr);
  OsPortClose(UPLOAD_PORT);
  unlink(path);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  state.counters["blocks"] =
      benchmark::Counter(static_cast<double>(receiver.dataBlocks()), benchmark::Counter::kIsRate);
  state.counters["blocks_per_file"] = benchmark::Counter(
      static_cast<double>(receiver.dataBlocks()) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SendFile)->Arg(300 * 1024)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
