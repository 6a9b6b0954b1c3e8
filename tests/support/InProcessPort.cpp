#include "InProcessPort.h"

#include <map>

namespace halvex::test {

class PortPair::Host final : public SerialPort {
 public:
  explicit Host(std::shared_ptr<PortPair> pair) : p_(std::move(pair)) {}

  bool ReadLineSettings() override { return Step(OpenStep::kReadLineSettings); }
  bool ApplyLineSettings(int baud) override {
    if (!Step(OpenStep::kApplyLineSettings)) return false;
    std::lock_guard lock(p_->m_);
    p_->baud_ = baud;
    return true;
  }
  bool EnableEvents() override { return Step(OpenStep::kEnableEvents); }
  bool SetImmediateReads() override { return Step(OpenStep::kSetImmediateReads); }
  bool HasModemLines() const override { return p_->modemLines_; }

  bool SetRts(bool on) override {
    if (!p_->modemLines_) return false;
    {
      std::lock_guard lock(p_->m_);
      if (p_->hostRts_ != on) p_->rts_.push_back({on, std::chrono::steady_clock::now()});
      p_->hostRts_ = on;
    }
    p_->cv_.notify_all();
    return true;
  }
  bool GetCts(bool* on) override {
    if (!p_->modemLines_) return false;
    std::lock_guard lock(p_->m_);
    *on = p_->hostCts_;
    return true;
  }

  long Read(uint8_t* buf, size_t n) override {
    std::lock_guard lock(p_->m_);
    if (Cancelled()) return -1;
    size_t i = 0;
    for (; i < n && !p_->toHost_.empty(); ++i) {
      buf[i] = p_->toHost_.front();
      p_->toHost_.pop_front();
    }
    return static_cast<long>(i);
  }

  WriteResult Write(const uint8_t* buf, size_t n) override {
    {
      std::lock_guard lock(p_->m_);
      p_->toPeer_.insert(p_->toPeer_.end(), buf, buf + n);
      p_->writes_.push_back({std::vector<uint8_t>(buf, buf + n), std::chrono::steady_clock::now()});
    }
    p_->cv_.notify_all();
    return WriteResult{n, true};
  }

  unsigned Wait(int timeoutMs) override {
    std::unique_lock lock(p_->m_);
    unsigned events = kNone;
    auto ready = [&] {
      events = kNone;
      if (Cancelled()) events |= kCancelled;
      if (!p_->toHost_.empty()) events |= kData;
      if (p_->ctsChanged_) events |= kCtsChange;
      return events != kNone;
    };
    if (timeoutMs < 0) {
      p_->cv_.wait(lock, ready);
    } else {
      p_->cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (events & kCtsChange) p_->ctsChanged_ = false;
    return events;
  }

  void Cancel() override {
    {
      std::lock_guard lock(p_->m_);
      cancelled_ = true;
    }
    p_->cv_.notify_all();
  }

  void Purge(bool /*tx*/, bool rx) override {
    if (!rx) return;
    std::lock_guard lock(p_->m_);
    p_->toHost_.clear();
  }

 private:
  bool Step(OpenStep s) {
    std::lock_guard lock(p_->m_);
    return p_->fail_ != s;
  }
  bool Cancelled() const { return cancelled_; }

  std::shared_ptr<PortPair> p_;
  bool cancelled_ = false;  // under p_->m_
};

class PortPair::PeerEnd final : public PeerLine {
 public:
  explicit PeerEnd(PortPair& p) : p_(p) {}
  std::vector<uint8_t> Read(int timeoutMs) override {
    std::unique_lock lock(p_.m_);
    p_.cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                    [&] { return !p_.toPeer_.empty(); });
    std::vector<uint8_t> out(p_.toPeer_.begin(), p_.toPeer_.end());
    p_.toPeer_.clear();
    return out;
  }
  void Write(const std::vector<uint8_t>& bytes) override {
    {
      std::lock_guard lock(p_.m_);
      p_.toHost_.insert(p_.toHost_.end(), bytes.begin(), bytes.end());
    }
    p_.cv_.notify_all();
  }
  bool HasModemLines() const override { return p_.modemLines_; }
  bool HostRts() const override {
    std::lock_guard lock(p_.m_);
    return p_.hostRts_;
  }
  void SetHostCts(bool on) override {
    {
      std::lock_guard lock(p_.m_);
      if (p_.hostCts_ == on) return;
      p_.hostCts_ = on;
      p_.ctsChanged_ = true;
    }
    p_.cv_.notify_all();
  }

 private:
  PortPair& p_;
};

PortPair::PortPair(bool modemLines)
    : modemLines_(modemLines), peer_(std::make_unique<PeerEnd>(*this)) {}

std::shared_ptr<PortPair> PortPair::Create(bool modemLines) {
  return std::shared_ptr<PortPair>(new PortPair(modemLines));
}

std::unique_ptr<SerialPort> PortPair::OpenHost() {
  {
    std::lock_guard lock(m_);
    if (fail_ == OpenStep::kOpen) return nullptr;
    ++opens_;
    toHost_.clear();
    toPeer_.clear();
  }
  return std::make_unique<Host>(shared_from_this());
}

void PortPair::FailAt(OpenStep step) {
  std::lock_guard lock(m_);
  fail_ = step;
}

int PortPair::Baud() const {
  std::lock_guard lock(m_);
  return baud_;
}

int PortPair::Opens() const {
  std::lock_guard lock(m_);
  return opens_;
}

std::vector<PortPair::RtsChange> PortPair::RtsHistory() const {
  std::lock_guard lock(m_);
  return rts_;
}

std::vector<PortPair::HostWrite> PortPair::Writes() const {
  std::lock_guard lock(m_);
  return writes_;
}

struct PortFactoryScope::Table {
  std::mutex m;
  std::map<std::string, std::shared_ptr<PortPair>> pairs;
  std::map<std::string, SerialOpenFailure> refusals;
};

PortFactoryScope::PortFactoryScope() : table_(std::make_shared<Table>()) {
  SetSerialPortFactory([t = table_](const std::string& path,
                                    SerialOpenFailure* failure) -> std::unique_ptr<SerialPort> {
    const std::string prefix = "inproc:";
    if (path.rfind(prefix, 0) != 0) return OpenPosixSerialPort(path, failure);
    std::lock_guard lock(t->m);
    const std::string name = path.substr(prefix.size());
    if (auto refused = t->refusals.find(name); refused != t->refusals.end()) {
      if (failure) *failure = refused->second;
      return nullptr;
    }
    auto it = t->pairs.find(name);
    return it == t->pairs.end() ? nullptr : it->second->OpenHost();
  });
}

PortFactoryScope::~PortFactoryScope() { SetSerialPortFactory(nullptr); }

void PortFactoryScope::Refuse(const std::string& name, SerialOpenFailure failure) {
  std::lock_guard lock(table_->m);
  table_->refusals[name] = std::move(failure);
}

void PortFactoryScope::Add(const std::string& name, std::shared_ptr<PortPair> pair) {
  std::lock_guard lock(table_->m);
  table_->pairs[name] = std::move(pair);
}

}  // namespace halvex::test
