#include "ScriptedDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <condition_variable>

namespace halvex::test {

namespace {
constexpr int kFrameGapMs = 3;
}

ScriptedDevice::ScriptedDevice(PeerLine& line, Script script, bool mirrorRts)
    : line_(line), script_(std::move(script)), mirrorRts_(mirrorRts) {
  thread_ = std::thread([this] { Run(); });
}

ScriptedDevice::~ScriptedDevice() {
  stop_ = true;
  thread_.join();
}

void ScriptedDevice::Run() {
  int index = 0;
  while (!stop_) {
    if (mirrorRts_ && line_.HasModemLines()) {
      const bool rts = line_.HostRts();
      if (rts != cts_) {
        cts_ = rts;
        line_.SetHostCts(rts);
      }
    }
    Frame frame = line_.Read(1);
    if (frame.empty()) continue;
    // The rest of a burst follows within a few milliseconds.
    for (;;) {
      Frame more = line_.Read(kFrameGapMs);
      if (more.empty()) break;
      frame.insert(frame.end(), more.begin(), more.end());
    }
    {
      std::lock_guard lock(m_);
      frames_.push_back({frame, std::chrono::steady_clock::now(), cts_});
    }
    cv_.notify_all();
    if (auto answer = script_(frame, index++)) line_.Write(*answer);
  }
}

std::vector<ScriptedDevice::Received> ScriptedDevice::Frames() const {
  std::lock_guard lock(m_);
  return frames_;
}

bool ScriptedDevice::WaitFrames(size_t n, int timeoutMs) const {
  std::unique_lock lock(m_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return frames_.size() >= n; });
}

ScriptedDevice::Script ScriptedDevice::Echo() {
  return [](const Frame& f, int) { return std::optional<Frame>(f); };
}

ScriptedDevice::Script ScriptedDevice::Silent() {
  return [](const Frame&, int) { return std::optional<Frame>(); };
}

ScriptedDevice::Script ScriptedDevice::AnswerFrom(int firstIndex, Frame answer) {
  return [=](const Frame&, int index) {
    return index >= firstIndex ? std::optional<Frame>(answer) : std::nullopt;
  };
}

PtyLine::PtyLine() {
  int master = -1, slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
  termios t{};
  ::tcgetattr(master, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(master, TCSANOW, &t);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  master_ = master;
  slaveKeep_ = slave;
  slavePath_ = name;
}

PtyLine::~PtyLine() {
  if (master_ >= 0) ::close(master_);
  if (slaveKeep_ >= 0) ::close(slaveKeep_);
}

std::vector<uint8_t> PtyLine::Read(int timeoutMs) {
  pollfd p{master_, POLLIN, 0};
  std::vector<uint8_t> out;
  if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return out;
  uint8_t buf[1024];
  const ssize_t n = ::read(master_, buf, sizeof buf);
  if (n > 0) out.assign(buf, buf + n);
  return out;
}

void PtyLine::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
    } else {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 10);
    }
  }
}

}  // namespace halvex::test
