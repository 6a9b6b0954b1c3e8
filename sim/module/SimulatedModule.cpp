#include "module/SimulatedModule.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>

#include "device/SimDevice.h"
#include "transport/DeviceRunner.h"
#include "transport/SerialEndpoint.h"

namespace qelta::sim {

using Clock = std::chrono::steady_clock;

namespace {

// The base station's end of the tunnel: one end of a socket pair whose other end the host relays
// to and from the TCP client. A new client starts afresh at the point of the line where the module
// took it: the host counts the bytes it puts on the line and marks that count, and this end never
// reads across a mark before it has reported the new client. Bytes the host passed on before
// taking the client stay with the earlier conversation, whatever the device's thread was doing at
// that moment; bytes passed on after it belong to the new one.
class PairEndpoint : public SerialEndpoint {
 public:
  explicit PairEndpoint(int fd) : fd_(fd) {}
  ~PairEndpoint() override {
    if (fd_ >= 0) ::close(fd_);
  }
  int PollFd() const override { return fd_; }
  long Read(uint8_t* buffer, size_t size) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!newClientAt_.empty()) {
        // Up to the mark, and nothing past it until Service has reported the new client.
        const uint64_t before = newClientAt_.front() - read_;
        if (before == 0) return 0;
        size = static_cast<size_t>(std::min<uint64_t>(size, before));
      }
    }
    const ssize_t n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
    if (n > 0) {
      read_ += static_cast<uint64_t>(n);
      return n;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return -1;
  }
  bool Write(std::span<const uint8_t> bytes) override {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      } else {
        return false;
      }
    }
    return true;
  }
  // True once everything before a new client's mark has been read.
  bool Service() override {
    std::lock_guard<std::mutex> hold(lock_);
    if (newClientAt_.empty() || newClientAt_.front() > read_) return false;
    while (!newClientAt_.empty() && newClientAt_.front() <= read_) newClientAt_.pop_front();
    return true;
  }
  void HangUp() override { hangUp = true; }
  void SetAnswering(bool on) override { answering = on; }

  // The host's thread: a new client was taken when `position` bytes had gone onto the line.
  void NewClientAt(uint64_t position) {
    std::lock_guard<std::mutex> hold(lock_);
    newClientAt_.push_back(position);
  }

  std::atomic<bool> hangUp{false};
  std::atomic<bool> answering{false};

 private:
  int fd_;
  uint64_t read_ = 0;  // bytes read off the line (the device's thread only)
  std::mutex lock_;
  std::deque<uint64_t> newClientAt_;  // rising line positions
};

}  // namespace

struct ModuleHost::Module {
  ModuleOptions options;
  ModuleStats stats;
  int udp = -1;       // bound to address:2362
  int listener = -1;  // address:2101, open while the tunnel is allowed
  int client = -1;    // the tunnel's TCP client
  Clock::time_point restartUntil{};
  bool restarting = false;
  bool bindFailed = false;
  Clock::time_point bindRetryAt{};  // a failed bind is tried again from then on
  uint32_t answerSeed = 1;
  // Addresses this module was moved to that the host added to the loopback interface.
  std::vector<uint32_t> addedAddresses;

  // Bytes put on the line so far: where each new client's conversation begins.
  uint64_t lineWritten = 0;

  // Line bytes waiting for the line to go idle (forwarding on idle).
  std::vector<uint8_t> pending;
  Clock::time_point lastLineByte{};

  // The base station's line: the host's end of the pair and the runner on the other end.
  int line = -1;
  PairEndpoint* endpoint = nullptr;  // owned by runner
  std::unique_ptr<DeviceRunner> runner;

  ~Module() {
    runner.reset();
    if (line >= 0) ::close(line);
    if (client >= 0) ::close(client);
    if (udp >= 0) ::close(udp);
    if (listener >= 0) ::close(listener);
  }
};

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Closes a listener or a client's connection so that it is gone when this returns. A close alone
// is not enough: while the host's thread waits in poll on the socket, the kernel keeps it alive
// (a listener goes on taking connections) until that wait ends. The shutdown ends it at once.
void CloseStream(int& fd) {
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  CloseFd(fd);
}

sockaddr_in SocketAddress(uint32_t hostOrder, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(hostOrder);
  return a;
}

int OpenBound(int type, uint32_t address, uint16_t port) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = SocketAddress(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool TunnelClosed(const ModuleOptions& o) { return o.silent || o.tcpRefused || o.tunnelHeld; }

void DropClient(ModuleHost::Module& m) { CloseStream(m.client); }

void CloseAll(ModuleHost::Module& m) {
  CloseFd(m.udp);
  CloseStream(m.listener);
  DropClient(m);
}

// Opens what the module should have open now: its discovery socket, and the tunnel listener while
// the tunnel is allowed. The listener stays open while a client holds the tunnel: whether a new
// connection is served or turned away is decided when it is accepted (Accept below).
// An address the module cannot bind yet (not on any interface) is tried again now and then, as a
// real module keeps trying its configured address.
constexpr auto kBindRetry = std::chrono::milliseconds(250);

void OpenWhatIsDue(ModuleHost::Module& m) {
  const ModuleOptions& o = m.options;
  if (m.restarting) return;
  if (m.bindFailed && Clock::now() >= m.bindRetryAt) m.bindFailed = false;
  if (m.udp < 0 && !m.bindFailed) {
    m.udp = OpenBound(SOCK_DGRAM, o.identity.address, kModuleDiscoveryPort);
    m.bindFailed = m.udp < 0;
    if (m.bindFailed) m.bindRetryAt = Clock::now() + kBindRetry;
  }
  const bool wantListener = m.udp >= 0 && !TunnelClosed(o);
  if (wantListener && m.listener < 0) {
    m.listener = OpenBound(SOCK_STREAM, o.identity.address, kModuleTunnelPort);
    if (m.listener >= 0 && ::listen(m.listener, 1) != 0) CloseFd(m.listener);
  } else if (!wantListener && m.listener >= 0) {
    CloseStream(m.listener);
  }
}

void Answer(ModuleHost::Module& m, int fd, const sockaddr_in& to) {
  if (m.options.silent || m.restarting || fd < 0) return;
  const auto d = BuildDiscoveryAnswer(m.options.identity, m.options.malformed, m.answerSeed++);
  ::sendto(fd, d.data(), d.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  ++m.stats.discoveryAnswers;
}

void Restart(ModuleHost::Module& m) {
  CloseAll(m);
  m.restarting = true;
  m.bindFailed = false;
  m.restartUntil = Clock::now() + std::chrono::milliseconds(m.options.restartMs);
  ++m.stats.restarts;
}

// A configuration request: applied only when it names this module's MAC with its password.
// Answers whether the module's address changed.
bool Configure(ModuleHost::Module& m, const ModuleRequest& r) {
  ModuleIdentity& id = m.options.identity;
  if (m.options.silent || m.restarting) return false;
  if (!id.hasMac || r.mac != id.mac) return false;  // meant for another module
  if (r.password != m.options.password) {
    ++m.stats.configurationsRejected;
    return false;
  }
  const uint32_t before = id.address;
  switch (r.type) {
    case RequestType::kStaticAddress:
      id.address = r.address;
      id.mask = r.mask;
      id.gateway = r.gateway;
      id.dhcp = false;
      // The new address must exist on this machine for the module to answer there: inside the
      // private namespace it is added to lo (outside, the module stays unreachable, as a real one
      // on a foreign subnet would).
      if (id.address != before) {
        bool added = false;
        AddLoopbackAddress(id.address, nullptr, &added);
        if (added) m.addedAddresses.push_back(id.address);
      }
      break;
    case RequestType::kDhcp:
      // There is no DHCP server here: the module keeps its address and reports DHCP on.
      id.dhcp = r.dhcpOn;
      break;
    case RequestType::kReboot:
      break;
    default:
      return false;
  }
  ++m.stats.configurationsApplied;
  Restart(m);
  return id.address != before;
}

// Answers whether the datagram moved the module to another address.
bool HandleDatagram(ModuleHost::Module& m, int replyFd, const uint8_t* data, size_t length,
                    const sockaddr_in& from, bool viaGroup) {
  const auto request = ParseModuleRequest(data, length);
  if (!request) return false;
  if (request->type == RequestType::kDiscovery) {
    if (!viaGroup && m.options.probeSilent) return false;
    if (DiscoveryIsFor(*request, m.options.identity)) Answer(m, replyFd, from);
    return false;
  }
  return Configure(m, *request);
}

// Starts the base station's line the first time the module needs it.
void StartLine(ModuleHost::Module& m) {
  if (m.runner || !m.options.baseStation) return;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) return;
  auto endpoint = std::make_unique<PairEndpoint>(pair[1]);
  m.endpoint = endpoint.get();
  m.line = pair[0];
  m.runner = std::make_unique<DeviceRunner>(*m.options.baseStation, std::move(endpoint));
  m.runner->Start();
}

// Writes a chunk to a non-blocking socket; answers how much of it went (less than all: the peer is
// gone or has stopped reading).
size_t SendAll(int fd, const uint8_t* data, size_t length) {
  size_t sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
    } else {
      break;
    }
  }
  return sent;
}

// Client to base station.
void ReadClient(ModuleHost::Module& m) {
  uint8_t buffer[1024];
  if (m.client < 0) return;
  const ssize_t n = ::recv(m.client, buffer, sizeof buffer, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    DropClient(m);
    return;
  }
  if (n > 0 && m.line >= 0) m.lineWritten += SendAll(m.line, buffer, static_cast<size_t>(n));
}

// Whether the tunnel's client has closed its end (its last bytes may still wait to be read).
bool ClientHasClosed(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// Turns a connection away at once: a reset, as a module whose tunnel is taken answers.
void Refuse(int fd) {
  linger reset{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(fd);
}

void Accept(ModuleHost::Module& m) {
  const int client = ::accept4(m.listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (client < 0) return;
  // One client at a time. A client that has closed its end has freed the tunnel, even when this
  // thread has not come round to its close yet; a client still there keeps the tunnel, and the
  // new one is refused.
  if (m.client >= 0 && !ClientHasClosed(m.client)) {
    Refuse(client);
    ++m.stats.tunnelRefusals;
    return;
  }
  ++m.stats.tunnelConnections;
  StartLine(m);
  if (m.endpoint) m.endpoint->NewClientAt(m.lineWritten);
  // What the closed client sent last goes to the line only now, after the new client's start: the
  // device hears it within the new conversation and its answer goes to the new client, as on a
  // real line, where the answer comes back after the module has taken the next client.
  for (int reads = 0; m.client >= 0 && reads < 64; ++reads) ReadClient(m);
  DropClient(m);
  m.client = client;
  m.pending.clear();  // nothing of an earlier client's conversation
}

constexpr size_t kForwardBytes = 300;

void Forward(ModuleHost::Module& m, const uint8_t* data, size_t length) {
  if (m.client >= 0 && length > 0 && SendAll(m.client, data, length) < length) DropClient(m);
}

void FlushPending(ModuleHost::Module& m) {
  Forward(m, m.pending.data(), m.pending.size());
  m.pending.clear();
}

// Base station to client; with no client the bytes are lost, as on a real line.
void ReadLine(ModuleHost::Module& m) {
  uint8_t buffer[1024];
  const ssize_t n = ::recv(m.line, buffer, sizeof buffer, 0);
  if (n <= 0) return;
  if (m.options.forwardIdleMs <= 0) {
    Forward(m, buffer, static_cast<size_t>(n));
    return;
  }
  m.pending.insert(m.pending.end(), buffer, buffer + n);
  m.lastLineByte = Clock::now();
  if (m.pending.size() >= kForwardBytes) FlushPending(m);
}

// When the line has been idle long enough (and the device is not in the middle of an answer), its
// bytes go on; otherwise the time to look again.
std::optional<Clock::time_point> ForwardDue(ModuleHost::Module& m, Clock::time_point now) {
  if (m.pending.empty()) return std::nullopt;
  const auto idle = std::chrono::milliseconds(m.options.forwardIdleMs);
  if (m.endpoint && m.endpoint->answering) return now + idle;
  // What the device wrote up to now belongs to this batch.
  if (m.line >= 0) {
    const size_t before = m.pending.size();
    uint8_t buffer[1024];
    for (ssize_t n; (n = ::recv(m.line, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
      m.pending.insert(m.pending.end(), buffer, buffer + n);
    if (m.pending.size() != before) m.lastLineByte = now;
  }
  const auto due = m.lastLineByte + idle;
  if (now < due) return due;
  FlushPending(m);
  return std::nullopt;
}

}  // namespace

ModuleHost::ModuleHost() { wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

ModuleHost::~ModuleHost() {
  Stop();
  for (auto& m : modules_) {
    CloseAll(*m);
    for (uint32_t address : m->addedAddresses) RemoveLoopbackAddress(address);
  }
  CloseFd(wakeFd_);
}

size_t ModuleHost::AddModule(ModuleOptions options) {
  std::lock_guard<std::mutex> hold(lock_);
  auto m = std::make_unique<Module>();
  m->options = std::move(options);
  // Sockets open at once, so that the module answers as soon as this returns.
  OpenWhatIsDue(*m);
  modules_.push_back(std::move(m));
  Wake();
  return modules_.size() - 1;
}

bool ModuleHost::Start(std::string* error) {
  if (thread_.joinable()) return true;
  auto fail = [&](const std::string& why) {
    if (error) *error = why + ": " + std::strerror(errno);
    CloseFd(groupSocket_);
    return false;
  };
  uint32_t group = 0;
  ParseDottedAddress(kModuleDiscoveryGroup, group);
  groupSocket_ = OpenBound(SOCK_DGRAM, group, kModuleDiscoveryPort);
  if (groupSocket_ < 0) return fail("cannot bind the discovery group");
  ip_mreq join{};
  join.imr_multiaddr.s_addr = htonl(group);
  join.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
  if (::setsockopt(groupSocket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
    return fail("cannot join the discovery group on the loopback interface");
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ModuleHost::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    suspendChanged_.notify_all();
  }
  Wake();
  thread_.join();
  CloseFd(groupSocket_);
}

void ModuleHost::Suspend() {
  std::unique_lock<std::mutex> hold(lock_);
  suspend_ = true;
  if (!thread_.joinable()) return;
  Wake();
  suspendChanged_.wait(hold, [this] { return suspended_ || stop_; });
}

void ModuleHost::Resume() {
  std::lock_guard<std::mutex> hold(lock_);
  suspend_ = false;
  suspendChanged_.notify_all();
}

void ModuleHost::Wake() {
  const uint64_t one = 1;
  if (wakeFd_ >= 0) [[maybe_unused]]
    auto n = ::write(wakeFd_, &one, sizeof one);
}

void ModuleHost::Run() {
  enum class Kind { kWake, kGroup, kUdp, kListener, kClient, kLine };
  struct Slot {
    Kind kind;
    size_t module;
  };
  std::vector<pollfd> fds;
  std::vector<Slot> slots;
  uint8_t buffer[2048];

  while (!stop_) {
    fds.clear();
    slots.clear();
    {
      std::unique_lock<std::mutex> hold(lock_);
      if (suspend_) {
        suspended_ = true;
        suspendChanged_.notify_all();
        suspendChanged_.wait(hold, [this] { return !suspend_ || stop_; });
        suspended_ = false;
        if (stop_) break;
      }
      const auto now = Clock::now();
      fds.push_back({wakeFd_, POLLIN, 0});
      slots.push_back({Kind::kWake, 0});
      fds.push_back({groupSocket_, POLLIN, 0});
      slots.push_back({Kind::kGroup, 0});
      for (size_t i = 0; i < modules_.size(); ++i) {
        Module& m = *modules_[i];
        if (m.restarting && now >= m.restartUntil) m.restarting = false;
        OpenWhatIsDue(m);
        if (m.udp >= 0) {
          fds.push_back({m.udp, POLLIN, 0});
          slots.push_back({Kind::kUdp, i});
        }
        if (m.listener >= 0) {
          fds.push_back({m.listener, POLLIN, 0});
          slots.push_back({Kind::kListener, i});
        }
        // The base station dropped its line (a fault knob): the client goes with it.
        if (m.endpoint && m.endpoint->hangUp.exchange(false)) DropClient(m);
        if (m.client >= 0) {
          fds.push_back({m.client, POLLIN, 0});
          slots.push_back({Kind::kClient, i});
        }
        if (m.line >= 0) {
          fds.push_back({m.line, POLLIN, 0});
          slots.push_back({Kind::kLine, i});
        }
      }
    }
    int waitMs = 50;
    {
      std::lock_guard<std::mutex> hold(lock_);
      const auto now = Clock::now();
      for (auto& m : modules_) {
        if (auto due = ForwardDue(*m, now)) {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*due - now);
          waitMs = std::min<int>(waitMs, static_cast<int>(left.count()) + 1);
        }
      }
    }
    const int ready = ::poll(fds.data(), fds.size(), waitMs);
    {
      std::lock_guard<std::mutex> hold(lock_);
      const auto now = Clock::now();
      for (auto& m : modules_) ForwardDue(*m, now);
    }
    if (ready <= 0) continue;

    // Modules that took a new address; the hook hears of them once the lock is given back.
    std::vector<std::pair<size_t, ModuleIdentity>> moved;
    std::function<void(size_t, const ModuleIdentity&)> addressHook;
    std::unique_lock<std::mutex> hold(lock_);
    addressHook = addressHook_;
    for (size_t k = 0; k < fds.size() && !stop_; ++k) {
      if (fds[k].revents == 0) continue;
      const Slot s = slots[k];
      if (s.kind == Kind::kWake) {
        uint64_t count;
        [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
        continue;
      }
      if (s.kind == Kind::kGroup || s.kind == Kind::kUdp) {
        // Drain the socket: a burst of requests must not wait for further poll rounds.
        for (;;) {
          sockaddr_in from{};
          socklen_t fromLength = sizeof from;
          const ssize_t n = ::recvfrom(fds[k].fd, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
          if (n < 0) break;
          if (s.kind == Kind::kGroup) {
            // Every module hears the group and answers from its own address.
            for (size_t i = 0; i < modules_.size(); ++i) {
              Module& m = *modules_[i];
              if (HandleDatagram(m, m.udp, buffer, static_cast<size_t>(n), from, true))
                moved.emplace_back(i, m.options.identity);
            }
          } else {
            Module& m = *modules_[s.module];
            if (m.udp != fds[k].fd) break;  // closed by a restart meanwhile
            if (HandleDatagram(m, m.udp, buffer, static_cast<size_t>(n), from, false))
              moved.emplace_back(s.module, m.options.identity);
          }
        }
        continue;
      }
      Module& m = *modules_[s.module];
      if (s.kind == Kind::kListener && m.listener == fds[k].fd) Accept(m);
      if (s.kind == Kind::kClient && m.client == fds[k].fd) ReadClient(m);
      if (s.kind == Kind::kLine) ReadLine(m);
    }
    hold.unlock();
    if (addressHook)
      for (const auto& [index, identity] : moved) addressHook(index, identity);
  }
}

void ModuleHost::SetAddressHook(std::function<void(size_t, const ModuleIdentity&)> hook) {
  std::lock_guard<std::mutex> hold(lock_);
  addressHook_ = std::move(hook);
}

size_t ModuleHost::ModuleCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return modules_.size();
}

void ModuleHost::SetSilent(size_t index, bool silent) {
  std::lock_guard<std::mutex> hold(lock_);
  if (index >= modules_.size()) return;
  Module& m = *modules_[index];
  m.options.silent = silent;
  if (silent) {
    CloseStream(m.listener);
    DropClient(m);
  }
  Wake();
}

void ModuleHost::SetTunnelHeld(size_t index, bool held) {
  std::lock_guard<std::mutex> hold(lock_);
  if (index >= modules_.size()) return;
  Module& m = *modules_[index];
  m.options.tunnelHeld = held;
  // Held from now on: the listener goes at once, not at the thread's next round.
  if (held) CloseStream(m.listener);
  Wake();
}

void ModuleHost::SetMalformed(size_t index, MalformedAnswer kind) {
  std::lock_guard<std::mutex> hold(lock_);
  if (index < modules_.size()) modules_[index]->options.malformed = kind;
}

std::shared_ptr<SimDevice> ModuleHost::BaseStation(size_t index) const {
  std::lock_guard<std::mutex> hold(lock_);
  return index < modules_.size() ? modules_[index]->options.baseStation : nullptr;
}

ModuleIdentity ModuleHost::Identity(size_t index) const {
  std::lock_guard<std::mutex> hold(lock_);
  return index < modules_.size() ? modules_[index]->options.identity : ModuleIdentity{};
}

ModuleStats ModuleHost::Stats(size_t index) const {
  std::lock_guard<std::mutex> hold(lock_);
  return index < modules_.size() ? modules_[index]->stats : ModuleStats{};
}

bool ModuleHost::Restarting(size_t index) const {
  std::lock_guard<std::mutex> hold(lock_);
  return index < modules_.size() && modules_[index]->restarting;
}

void ModuleHost::RestartModule(size_t index) {
  std::lock_guard<std::mutex> hold(lock_);
  if (index >= modules_.size()) return;
  Restart(*modules_[index]);
  Wake();
}

bool ModuleHost::Online(size_t index) const {
  std::lock_guard<std::mutex> hold(lock_);
  return index < modules_.size() && modules_[index]->udp >= 0;
}

ModuleIdentity SampleIdentity(size_t i) {
  ModuleIdentity id;
  id.name = "BS-" + std::to_string(i + 1);
  id.hasMac = true;
  id.mac = {0x00,
            0x40,
            0x9D,
            static_cast<uint8_t>(i >> 16),
            static_cast<uint8_t>(i >> 8),
            static_cast<uint8_t>(i)};
  id.address = 0x7F000002u + static_cast<uint32_t>(i);
  id.mask = 0xFF000000u;
  id.gateway = 0x7F000001u;
  id.dhcp = false;
  return id;
}

bool ParseDottedAddress(const std::string& text, uint32_t& hostOrder) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  hostOrder = ntohl(a.s_addr);
  return true;
}

std::string DottedAddress(uint32_t hostOrder) {
  in_addr a{};
  a.s_addr = htonl(hostOrder);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

namespace {

// One RTM_NEWADDR or RTM_DELADDR message for address/32 on lo and the kernel's answer: 0, or the
// errno value of the failure (`why` then names the step that failed).
int ChangeLoopbackAddress(uint16_t type, uint16_t flags, uint32_t hostOrder, const char*& why) {
  why = "no loopback interface";
  const unsigned lo = ::if_nametoindex("lo");
  if (lo == 0) return errno;
  struct Request {
    nlmsghdr header;
    ifaddrmsg address;
    char attributes[2 * RTA_SPACE(sizeof(uint32_t))];
  } request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
  request.header.nlmsg_seq = 1;
  request.address.ifa_family = AF_INET;
  request.address.ifa_prefixlen = 32;
  request.address.ifa_scope = RT_SCOPE_UNIVERSE;
  request.address.ifa_index = lo;
  const uint32_t network = htonl(hostOrder);
  for (unsigned short attributeType : {IFA_LOCAL, IFA_ADDRESS}) {
    auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                                NLMSG_ALIGN(request.header.nlmsg_len));
    attribute->rta_type = attributeType;
    attribute->rta_len = RTA_LENGTH(sizeof network);
    std::memcpy(RTA_DATA(attribute), &network, sizeof network);
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_SPACE(sizeof network);
  }
  why = "netlink";
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return errno;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0) {
    const int e = errno;
    ::close(fd);
    why = "netlink send";
    return e;
  }
  // The acknowledgement: an error message whose code is 0 on success.
  alignas(nlmsghdr) char answer[512];
  timeval wait{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  const ssize_t n = ::recv(fd, answer, sizeof answer, 0);
  const int receiveError = errno;
  ::close(fd);
  why = "no netlink answer";
  if (n < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))))
    return n < 0 ? receiveError : EPROTO;
  why = "netlink answer";
  const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
  if (header->nlmsg_type != NLMSG_ERROR) return EPROTO;
  why = "netlink";
  return -static_cast<const nlmsgerr*>(NLMSG_DATA(header))->error;
}

bool InsideNamespace(std::string* error) {
  const char* inside = std::getenv("QELTA_NETNS");
  if (inside != nullptr && std::string(inside) == "1") return true;
  if (error) *error = "refusing to change interfaces outside the private network namespace";
  return false;
}

}  // namespace

bool AddLoopbackAddress(uint32_t hostOrder, std::string* error, bool* added) {
  if (added) *added = false;
  if (!InsideNamespace(error)) return false;
  if ((hostOrder >> 24) == 127) return true;  // the whole of 127/8 is local already
  // Unlike an interface alias the address adds to what is there, so programs sharing the
  // namespace never replace each other's addresses.
  const char* why = "";
  const int e = ChangeLoopbackAddress(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, hostOrder, why);
  if (e == 0 && added) *added = true;
  if (e == 0 || e == EEXIST) return true;
  if (error) *error = std::string("cannot add the address: ") + why + ": " + std::strerror(e);
  return false;
}

bool RemoveLoopbackAddress(uint32_t hostOrder, std::string* error) {
  if (!InsideNamespace(error)) return false;
  if ((hostOrder >> 24) == 127) return true;
  const char* why = "";
  const int e = ChangeLoopbackAddress(RTM_DELADDR, 0, hostOrder, why);
  if (e == 0 || e == EADDRNOTAVAIL) return true;  // gone already
  if (error) *error = std::string("cannot remove the address: ") + why + ": " + std::strerror(e);
  return false;
}

}  // namespace qelta::sim
