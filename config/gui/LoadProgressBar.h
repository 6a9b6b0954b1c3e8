// The firmware load's progress under the link control's face: a thin bar, shown only while a
// load runs, fed from the face's load progress. The load blocks the GUI thread, so a change made
// on it repaints at once and lets the window paint (throttled); changes from other threads are
// queued to the GUI thread.
#pragma once

#include <QElapsedTimer>
#include <QProgressBar>
#include <functional>
#include <memory>

namespace halvex {
class ControlFace;
}

namespace qelta::gui {

class LoadProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  static constexpr int kPaintEveryMs = 100;

  // `keepPainting` lets the window paint while the load blocks the GUI thread.
  LoadProgressBar(halvex::ControlFace& face, std::function<void()> keepPainting,
                  QWidget* parent = nullptr);
  ~LoadProgressBar() override;

  // Brings the bar in line with the face's progress now; with `fromBlockedGuiThread` (a change
  // made by a load running on the GUI thread) it also lets the window paint, at most every
  // kPaintEveryMs.
  void refresh(bool fromBlockedGuiThread = false);

 private:
  struct Relay;

  halvex::ControlFace& face_;
  std::function<void()> keepPainting_;
  std::shared_ptr<Relay> relay_;
  int listener_ = 0;
  QElapsedTimer sincePaint_;
  bool painting_ = false;
};

}  // namespace qelta::gui
