#include "gui/LoadProgressBar.h"

#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>

#include "halvex/ControlFace.h"

namespace qelta::gui {

// Shared with the face's listener, which may still run on a worker thread when the bar goes
// away: the bar detaches under the mutex, after which the listener reaches nothing.
struct LoadProgressBar::Relay {
  std::mutex m;
  LoadProgressBar* bar = nullptr;
  QThread* guiThread = nullptr;
  std::atomic<bool> pending{false};  // one queued refresh at a time is enough
};

LoadProgressBar::LoadProgressBar(halvex::ControlFace& face, std::function<void()> keepPainting,
                                 QWidget* parent)
    : QProgressBar(parent),
      face_(face),
      keepPainting_(std::move(keepPainting)),
      relay_(std::make_shared<Relay>()) {
  relay_->bar = this;
  relay_->guiThread = thread();
  setTextVisible(false);
  setRange(0, 1);
  setValue(0);
  hide();
  std::weak_ptr<Relay> weak = relay_;
  listener_ = face_.AddChangeListener([weak] {
    std::shared_ptr<Relay> relay = weak.lock();
    if (!relay) return;
    if (QThread::currentThread() == relay->guiThread) {
      // The bar lives and dies on this thread: no lock needed, and none may be held while the
      // window paints.
      if (relay->bar) relay->bar->refresh(true);
      return;
    }
    if (relay->pending.exchange(true)) return;
    std::lock_guard lock(relay->m);
    if (!relay->bar) return;
    QMetaObject::invokeMethod(
        relay->bar,
        [bar = relay->bar, relay] {
          relay->pending.store(false);
          bar->refresh();
        },
        Qt::QueuedConnection);
  });
}

LoadProgressBar::~LoadProgressBar() {
  face_.RemoveChangeListener(listener_);
  std::lock_guard lock(relay_->m);
  relay_->bar = nullptr;
}

void LoadProgressBar::refresh(bool fromBlockedGuiThread) {
  const std::optional<halvex::LoadProgress> progress = face_.CurrentLoadProgress();
  if (!progress || progress->total == 0) {
    setVisible(false);
    setRange(0, 1);
    setValue(0);
    return;
  }
  // QProgressBar counts in int.
  constexpr uint32_t kIntMax = static_cast<uint32_t>(std::numeric_limits<int>::max());
  const uint32_t total = std::min(progress->total, kIntMax);
  const uint32_t done = std::min(progress->done, total);
  setRange(0, static_cast<int>(total));
  setValue(static_cast<int>(done));
  setVisible(true);

  if (!fromBlockedGuiThread || painting_ || !keepPainting_) return;
  if (sincePaint_.isValid() && sincePaint_.elapsed() < kPaintEveryMs) return;
  sincePaint_.restart();
  // The window may be closed while it paints: nothing of this object is touched afterwards
  // unless it still exists.
  QPointer<LoadProgressBar> self(this);
  const std::function<void()> keepPainting = keepPainting_;
  painting_ = true;
  keepPainting();
  if (self) painting_ = false;
}

}  // namespace qelta::gui
