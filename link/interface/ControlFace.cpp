#include "halvex/ControlFace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

#include "interface/Version.h"

namespace halvex {

struct ControlFace::State {
  mutable std::mutex m;
  std::function<void()> onChange;
  std::vector<std::pair<int, std::function<void()>>> listeners;
  int nextListener = 1;
  std::optional<LoadProgress> load;
  std::string status;
  LampState rx = LampState::kBlank;
  LampState tx = LampState::kBlank;
  bool berWaiting = false;
  std::vector<ProgressText> progress;  // sorted by x

  // Timer 1: dims the RX lamp 100 ms after the last chunk.
  std::condition_variable timerCv;
  std::optional<std::chrono::steady_clock::time_point> rxDeadline;
  bool stopTimer = false;
  std::thread timer;

  // Everyone to tell of a change; taken under the lock, called after it is released.
  std::vector<std::function<void()>> Observers() const {
    std::vector<std::function<void()>> out;
    if (onChange) out.push_back(onChange);
    for (const auto& l : listeners) out.push_back(l.second);
    return out;
  }

  void TimerLoop(ControlFace& face) {
    std::unique_lock lock(m);
    while (!stopTimer) {
      if (!rxDeadline) {
        timerCv.wait(lock);
        continue;
      }
      if (timerCv.wait_until(lock, *rxDeadline) == std::cv_status::timeout && rxDeadline &&
          std::chrono::steady_clock::now() >= *rxDeadline) {
        rxDeadline.reset();
        rx = LampState::kDim;
        auto observers = Observers();
        lock.unlock();
        for (auto& cb : observers) cb();
        (void)face;
        lock.lock();
      }
    }
  }
};

ControlFace::ControlFace() : s_(std::make_unique<State>()) {}

ControlFace::~ControlFace() {
  {
    std::lock_guard lock(s_->m);
    s_->stopTimer = true;
  }
  s_->timerCv.notify_all();
  if (s_->timer.joinable()) s_->timer.join();
}

void ControlFace::SetChangeCallback(std::function<void()> onChange) {
  std::lock_guard lock(s_->m);
  s_->onChange = std::move(onChange);
}

int ControlFace::AddChangeListener(std::function<void()> onChange) {
  std::lock_guard lock(s_->m);
  const int id = s_->nextListener++;
  s_->listeners.emplace_back(id, std::move(onChange));
  return id;
}

void ControlFace::RemoveChangeListener(int id) {
  std::lock_guard lock(s_->m);
  std::erase_if(s_->listeners, [id](const auto& l) { return l.first == id; });
}

std::string ControlFace::Caption() const { return std::string(kHalvexName) + " " + kHalvexVersion; }

std::string ControlFace::StatusText() const {
  std::lock_guard lock(s_->m);
  return s_->status;
}

LampState ControlFace::RxLamp() const {
  std::lock_guard lock(s_->m);
  return s_->rx;
}

LampState ControlFace::TxLamp() const {
  std::lock_guard lock(s_->m);
  return s_->tx;
}

bool ControlFace::BerWaiting() const {
  std::lock_guard lock(s_->m);
  return s_->berWaiting;
}

std::vector<ProgressText> ControlFace::Progress() const {
  std::lock_guard lock(s_->m);
  return s_->progress;
}

std::string ControlFace::ProgressLine() const {
  std::string line;
  for (const auto& p : Progress()) {
    if (p.y != kProgressY) continue;
    const size_t col = static_cast<size_t>(std::max(0, p.x) / kCharWidth);
    if (line.size() < col) line.resize(col, ' ');
    line.replace(col, std::min(p.text.size(), line.size() - col), p.text);
  }
  return line;
}

std::optional<LoadProgress> ControlFace::CurrentLoadProgress() const {
  std::lock_guard lock(s_->m);
  return s_->load;
}

namespace {
// `apply` returns nothing (always a change) or whether it changed anything.
template <class S, class F>
void Change(S& state, F&& apply) {
  std::vector<std::function<void()>> observers;
  {
    std::lock_guard lock(state.m);
    if constexpr (std::is_same_v<decltype(apply()), bool>) {
      if (!apply()) return;
    } else {
      apply();
    }
    observers = state.Observers();
  }
  for (auto& cb : observers) cb();
}
}  // namespace

void ControlFace::SetStatusText(const std::string& text) {
  Change(*s_, [&] { s_->status = text; });
}

void ControlFace::DrawProgress(int x, int y, const std::string& text, Rgb foreground,
                               Rgb background) {
  Change(*s_, [&] {
    // The opaque box covers whole character cells of the texts it overlaps; what lies outside
    // it stays visible.
    const int left = x;
    const int right = x + static_cast<int>(text.size()) * kCharWidth;
    std::vector<ProgressText> kept;
    for (const ProgressText& p : s_->progress) {
      const int pl = p.x;
      const int pr = p.x + static_cast<int>(p.text.size()) * kCharWidth;
      if (p.y != y || pr <= left || pl >= right) {
        kept.push_back(p);
        continue;
      }
      if (pl < left) {
        ProgressText head = p;
        head.text = p.text.substr(0, static_cast<size_t>((left - pl) / kCharWidth));
        if (!head.text.empty()) kept.push_back(head);
      }
      if (pr > right) {
        const size_t first = static_cast<size_t>((right - pl + kCharWidth - 1) / kCharWidth);
        ProgressText tail = p;
        tail.x = pl + static_cast<int>(first) * kCharWidth;
        tail.text = p.text.substr(first);
        if (!tail.text.empty()) kept.push_back(tail);
      }
    }
    auto& items = s_->progress;
    items = std::move(kept);
    items.push_back(ProgressText{x, y, text, foreground, background});
    std::sort(items.begin(), items.end(),
              [](const ProgressText& a, const ProgressText& b) { return a.x < b.x; });
  });
}

void ControlFace::ClearProgress() {
  // The strip from y 31 to y 47; texts drawn elsewhere stay.
  Change(*s_, [&] {
    auto& items = s_->progress;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [](const ProgressText& p) {
                                 return p.y >= kProgressY && p.y < kProgressStripBottom;
                               }),
                items.end());
  });
}

void ControlFace::RxActivity() {
  Change(*s_, [&] {
    s_->rx = LampState::kBright;
    s_->rxDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRxLampMs);
    if (!s_->timer.joinable()) s_->timer = std::thread([this] { s_->TimerLoop(*this); });
  });
  s_->timerCv.notify_all();
}

void ControlFace::SetRxLamp(LampState state) {
  Change(*s_, [&] { s_->rx = state; });
}

void ControlFace::SetTxLamp(LampState state) {
  Change(*s_, [&] { s_->tx = state; });
}

void ControlFace::SetBerWaiting(bool on) {
  Change(*s_, [&] { s_->berWaiting = on; });
}

void ControlFace::SetLoadProgress(uint32_t done, uint32_t total) {
  const LoadProgress value{std::min(done, total), total};
  Change(*s_, [&] {
    if (s_->load == value) return false;
    s_->load = value;
    return true;
  });
}

void ControlFace::ClearLoadProgress() {
  Change(*s_, [&] {
    if (!s_->load) return false;
    s_->load.reset();
    return true;
  });
}

void ControlFace::Repaint() {
  Change(*s_, [] {});
}

}  // namespace halvex
