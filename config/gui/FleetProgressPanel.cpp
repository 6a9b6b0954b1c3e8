#include "gui/FleetProgressPanel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <limits>

namespace qelta::gui {

FleetProgressPanel::FleetProgressPanel(QWidget* parent)
    : QWidget(parent), bar_(new QProgressBar(this)), cancel_(new QPushButton(tr("Cancel"), this)) {
  setObjectName(QStringLiteral("fleetProgress"));
  bar_->setObjectName(QStringLiteral("fleetProgressBar"));
  cancel_->setObjectName(QStringLiteral("fleetCancel"));
  bar_->setTextVisible(true);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(bar_, 1);
  layout->addWidget(cancel_);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancelAsked_ = true;
    cancel_->setEnabled(false);
    bar_->setFormat(progressText(last_, true));
  });
  hide();
}

QString FleetProgressPanel::progressText(const qelta::fleet::FleetProgress& p, bool cancelling) {
  QString text;
  if (p.phases > 1) text = QStringLiteral("Step %1/%2: ").arg(p.phase).arg(p.phases);
  text += QStringLiteral("%1 / %2 stations, %3 %4")
              .arg(p.done)
              .arg(p.total)
              .arg(p.failures)
              .arg(p.failures == 1 ? QStringLiteral("failure") : QStringLiteral("failures"));
  if (cancelling || p.cancelled) text += QStringLiteral(", cancelling");
  return text;
}

bool FleetProgressPanel::takesInput(QObject* watched) const {
  if (!isVisible() || !cancel_->isEnabled()) return false;
  for (QObject* o = watched; o; o = o->parent())
    if (o == cancel_) return true;
  return false;
}

void FleetProgressPanel::RunStarted(const qelta::fleet::FleetProgress& p) {
  cancelAsked_ = false;
  cancel_->setEnabled(true);
  Progress(p);
  show();
  raise();
}

void FleetProgressPanel::Progress(const qelta::fleet::FleetProgress& p) {
  last_ = p;
  constexpr std::size_t kIntMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  const int total = static_cast<int>(std::min(p.total, kIntMax));
  bar_->setRange(0, std::max(total, 1));
  bar_->setValue(static_cast<int>(std::min<std::size_t>(p.done, static_cast<std::size_t>(total))));
  bar_->setFormat(progressText(p, cancelAsked_));
}

void FleetProgressPanel::RunEnded(const qelta::fleet::FleetProgress& p) {
  last_ = p;
  hide();
  cancelAsked_ = false;
}

bool FleetProgressPanel::Idle() {
  // Everything, input included: the window's filter drops all input but the Cancel button's.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return true;
}

}  // namespace qelta::gui
