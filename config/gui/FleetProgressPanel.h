// The progress of a run over many base stations, under the output list between its two buttons:
// a bar with "stations done / total, failures" and a Cancel button. Shown only while a run goes
// on. The run blocks the GUI thread; while it waits for its stations the panel lets the window
// paint and takes a click on Cancel (the window refuses every other input meanwhile).
#pragma once

#include <QWidget>

#include "fleet/FleetSettings.h"

class QProgressBar;
class QPushButton;

namespace qelta::gui {

class FleetProgressPanel : public QWidget, public qelta::fleet::FleetMonitor {
  Q_OBJECT
 public:
  explicit FleetProgressPanel(QWidget* parent = nullptr);

  // The bar's text: "12 / 64 stations, 1 failure", with "Step 2/3: " before it when the command
  // has several phases, and ", cancelling" once Cancel was pressed.
  static QString progressText(const qelta::fleet::FleetProgress& p, bool cancelling);

  // True for the Cancel button (and what lies in it), whose clicks pass while the window is busy.
  bool takesInput(QObject* watched) const;
  QPushButton* cancelButton() const { return cancel_; }
  QProgressBar* bar() const { return bar_; }

  // --- FleetMonitor ---
  void RunStarted(const qelta::fleet::FleetProgress& p) override;
  void Progress(const qelta::fleet::FleetProgress& p) override;
  void RunEnded(const qelta::fleet::FleetProgress& p) override;
  bool CancelRequested() override { return cancelAsked_; }
  bool Idle() override;

 private:
  QProgressBar* bar_;
  QPushButton* cancel_;
  qelta::fleet::FleetProgress last_;
  bool cancelAsked_ = false;
};

}  // namespace qelta::gui
