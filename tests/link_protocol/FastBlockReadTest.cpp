// The block read that returns once its answer is whole, against the simulated device over its
// serial line and through a module's tunnel, on a hand terminal and on a base station.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SimSerialPort.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "halvex/SerialPort.h"
#include "transport/DeviceRunner.h"
#include "transport/NullModem.h"
#include "transport/TcpTunnelEndpoint.h"

namespace {

using Bytes = std::vector<uint8_t>;
using qelta::sim::MemoryArea;
using Clock = std::chrono::steady_clock;

enum class Way { kSerial, kTcp };

// A simulated device whose every byte tells its place, and a link connected to it.
class SimBench {
 public:
  SimBench(Way way, uint8_t type, const qelta::sim::FaultKnobs& faults = {}) {
    qelta::sim::DeviceIdentity id;
    id.type = type;
    device_.SetIdentity(id);
    device_.WithMemory([](qelta::sim::DeviceMemory& m) {
      auto page0 = m.Area(MemoryArea::kPage0);
      auto page1 = m.Area(MemoryArea::kPage1);
      auto extended = m.Area(MemoryArea::kExtended);
      for (size_t i = 0; i < page0.size(); ++i) page0[i] = static_cast<uint8_t>(i ^ 0x5A);
      for (size_t i = 0; i < page1.size(); ++i) page1[i] = static_cast<uint8_t>(255 - i);
      for (size_t i = 0; i < extended.size(); ++i)
        extended[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    });
    device_.SetFaults(faults);
    if (way == Way::kSerial) {
      runner_ = std::make_unique<qelta::sim::DeviceRunner>(
          device_, qelta::sim::NullModem::DeviceEndpoint(cable_));
      halvex::SetSerialPortFactory([c = cable_](const std::string&, halvex::SerialOpenFailure*) {
        return halvex::test::OpenSimSerialPort(c);
      });
      runner_->Start();
      link_.SetComPortPath(1, "sim");
      EXPECT_TRUE(link_.Connect(1, 19200));
    } else {
      auto tunnel = std::make_unique<qelta::sim::TcpTunnelEndpoint>("127.0.0.1", 0);
      EXPECT_TRUE(tunnel->Ok()) << tunnel->Error();
      const uint16_t port = tunnel->Port();
      runner_ = std::make_unique<qelta::sim::DeviceRunner>(device_, std::move(tunnel));
      runner_->Start();
      EXPECT_EQ(link_.ConnectTCP(htonl(INADDR_LOOPBACK), port), 0u);
    }
  }
  ~SimBench() {
    link_.Disconnect();
    runner_->Stop();
    halvex::SetSerialPortFactory(nullptr);
  }

  CHalvexCtrl& Link() { return link_; }
  uint32_t FramesReceived() const { return device_.Activity().frames_received; }

  // The bytes the device holds where a read of page/addr goes: the two pages, or the extended
  // memory for any other page.
  Bytes Held(int16_t page, int16_t addr, int16_t count) const {
    const Bytes all = page == 0 || page == 1 ? device_.Page(page) : device_.Extended();
    return Bytes(all.begin() + addr, all.begin() + addr + count);
  }

  // The read's bytes, or nothing when it failed; a failed read must leave the caller's array
  // as it was.
  std::optional<Bytes> Read(int16_t addr, int16_t page, int16_t count) {
    constexpr int16_t kUntouched = -1;
    std::vector<int16_t> out(static_cast<size_t>(std::max<int16_t>(count, 0)), kUntouched);
    if (!link_.ReadEepromBlockNow(addr, page, count, out.data())) {
      EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == kUntouched; }));
      return std::nullopt;
    }
    Bytes bytes;
    for (int16_t v : out) {
      EXPECT_TRUE(v >= 0 && v <= 255) << v;
      bytes.push_back(static_cast<uint8_t>(v));
    }
    return bytes;
  }

 private:
  std::shared_ptr<qelta::sim::NullModem> cable_ = qelta::sim::NullModem::Create();
  qelta::sim::SimDevice device_;
  std::unique_ptr<qelta::sim::DeviceRunner> runner_;
  CHalvexCtrl link_;
};

class FastBlockRead : public ::testing::TestWithParam<Way> {
 protected:
  // Every count through the tunnel, where a read costs a millisecond; on the serial line, where
  // each frame waits for the handshake, the counts around every edge.
  std::vector<int16_t> Counts() const {
    std::vector<int16_t> counts;
    if (GetParam() == Way::kTcp) {
      for (int16_t n = 1; n <= 255; ++n) counts.push_back(n);
    } else {
      counts = {1, 2, 4, 13, 100, 248, 249, 250, 254, 255};
    }
    return counts;
  }
};

TEST_P(FastBlockRead, ReadsTheDevicesBytesForEveryCountUpToThePageEnds) {
  struct Case {
    uint8_t type;
    int16_t page;
    std::vector<int16_t> starts;  // < 0: the read ends at the last address (end - count)
    int end;
  };
  const Case cases[] = {
      {9, 0, {0, -1}, 256},
      {9, 1, {0, -1}, 256},
      {8, 2, {0, 125, 0x1234, -1}, 32768},
  };
  for (const Case& c : cases) {
    SimBench bench(GetParam(), c.type);
    for (const int16_t count : Counts()) {
      for (const int16_t start : c.starts) {
        const int16_t addr = start >= 0 ? start : static_cast<int16_t>(c.end - count);
        SCOPED_TRACE("type " + std::to_string(c.type) + " page " + std::to_string(c.page) +
                     " addr " + std::to_string(addr) + " count " + std::to_string(count));
        const auto read = bench.Read(addr, c.page, count);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, bench.Held(c.page, addr, count));
      }
    }
  }
}

TEST_P(FastBlockRead, RangesThatCannotBeReadAreRefusedBeforeAnythingIsSent) {
  SimBench bench(GetParam(), 8);
  struct Case {
    const char* what;
    int16_t addr, page, count;
    bool withData;
  };
  const Case cases[] = {
      {"count past one byte", 0, 2, 256, true},    {"negative count", 0, 2, -1, true},
      {"past the end of page 0", 250, 0, 7, true}, {"past the end of page 1", 256, 1, 1, true},
      {"negative address", -1, 0, 1, true},        {"past the extended memory", 32760, 2, 9, true},
      {"no array for the bytes", 0, 2, 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int16_t> out(300, -1);
    EXPECT_FALSE(bench.Link().ReadEepromBlockNow(c.addr, c.page, c.count,
                                                 c.withData ? out.data() : nullptr));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == -1; }));
  }
  EXPECT_EQ(bench.FramesReceived(), 0u);
  // Without a link there is nothing to read from either.
  CHalvexCtrl unlinked;
  std::vector<int16_t> out(4, -1);
  EXPECT_FALSE(unlinked.ReadEepromBlockNow(0, 0, 4, out.data()));
}

TEST_P(FastBlockRead, AnAnswerThatIsNotWholeAndInTimeIsAFailureNeverPartlyGood) {
  using std::chrono::milliseconds;
  struct Case {
    const char* what;
    qelta::sim::FaultKnobs faults;
    bool read;         // over the serial line
    bool readOverTcp;  // the tunnel sends a frame once and takes a single answer
  };
  qelta::sim::FaultKnobs cut, lateTail, slowTail, garbage, corrupt, retry, silent;
  cut.cut_answer_bytes = 1;
  lateTail.late_last_byte = milliseconds(700);  // past the 300 ms the rest may take
  slowTail.late_last_byte = milliseconds(100);  // within them
  garbage.garbage_before_answer = 2;
  corrupt.corrupt_answers = true;
  retry.answer_second_only = true;
  silent.silent = true;
  const Case cases[] = {
      {"short answer", cut, false, false},
      {"answer that ends too late", lateTail, false, false},
      {"answer whose end comes later but in time", slowTail, true, true},
      {"bytes before the answer", garbage, false, false},
      {"answer that does not repeat the request", corrupt, false, false},
      {"answer to the second sending only", retry, true, false},
      {"no answer", silent, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A device of its own for each: a late byte must not reach the next case's read.
    SimBench bench(GetParam(), 9, c.faults);
    const auto read = bench.Read(200, 0, 56);
    EXPECT_EQ(read.has_value(), GetParam() == Way::kTcp ? c.readOverTcp : c.read);
    if (read) {
      EXPECT_EQ(*read, bench.Held(0, 200, 56));
    }
  }
}

TEST_P(FastBlockRead, AWholeAnswerEndsTheReadLongBeforeTheFixedWaitOfTheBlockRead) {
  SimBench bench(GetParam(), 8);
  // The fastest of a few reads, so that a moment of load on the machine does not count.
  long long fastest = 1'000'000;
  for (int i = 0; i < 5; ++i) {
    const auto t0 = Clock::now();
    ASSERT_TRUE(bench.Read(0x100, 2, 255).has_value());
    fastest = std::min<long long>(
        fastest, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
  }
  EXPECT_LT(fastest, 200);
  // The block read of the method table waits its 300 ms whatever the answer.
  const auto t0 = Clock::now();
  ASSERT_TRUE(bench.Link().ReadEepromBlock(0x100, 2, 255));
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(300));
}

INSTANTIATE_TEST_SUITE_P(Ways, FastBlockRead, ::testing::Values(Way::kSerial, Way::kTcp),
                         [](const ::testing::TestParamInfo<Way>& info) {
                           return info.param == Way::kSerial ? std::string("Serial")
                                                             : std::string("Tcp");
                         });

}  // namespace
