#include "gui/LinkFaceWidget.h"

#include <QPainter>
#include <atomic>
#include <mutex>

#include "halvex/ControlFace.h"

namespace qelta::gui {

// Shared with the model's callback, which may still be running on a worker thread when the widget
// goes away: the widget detaches under the mutex, after which the callback reaches nothing.
struct LinkFaceWidget::Relay {
  std::mutex m;
  LinkFaceWidget* widget = nullptr;
  std::atomic<bool> pending{false};  // one queued repaint at a time is enough
};

namespace {

QColor rgb(halvex::Rgb c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

// A text drawn opaquely in its box, 7 pixels per character and 15 high.
void drawBoxedText(QPainter& p, int x, int y, const QString& text, const QColor& fg,
                   const QColor& bg) {
  const QRect box(x, y, halvex::ControlFace::kCharWidth * static_cast<int>(text.size()),
                  halvex::ControlFace::kLineHeight);
  p.fillRect(box, bg);
  p.setPen(fg);
  p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
}

}  // namespace

LinkFaceWidget::LinkFaceWidget(halvex::ControlFace& face, QWidget* parent)
    : QWidget(parent), face_(face), relay_(std::make_shared<Relay>()) {
  relay_->widget = this;
  setAttribute(Qt::WA_OpaquePaintEvent);
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  std::weak_ptr<Relay> weak = relay_;
  face_.SetChangeCallback([weak] {
    std::shared_ptr<Relay> relay = weak.lock();
    if (!relay || relay->pending.exchange(true)) return;
    std::lock_guard lock(relay->m);
    if (!relay->widget) return;
    QMetaObject::invokeMethod(relay->widget, &LinkFaceWidget::modelChanged, Qt::QueuedConnection);
  });
}

LinkFaceWidget::~LinkFaceWidget() {
  face_.SetChangeCallback(nullptr);
  std::lock_guard lock(relay_->m);
  relay_->widget = nullptr;
}

void LinkFaceWidget::modelChanged() {
  relay_->pending.store(false);
  ++repaintRequests_;
  update();
}

void LinkFaceWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor faceColour = rgb(halvex::kFaceGrey);
  const QColor black = rgb(halvex::kBlack);
  p.fillRect(rect(), faceColour);

  // Frame.
  p.setPen(QColor(128, 128, 128));
  p.drawRect(rect().adjusted(0, 0, -1, -1));

  // Caption line and status.
  p.setPen(black);
  p.drawText(QRect(4, 0, width() - 8, halvex::ControlFace::kLineHeight),
             Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(face_.Caption()));
  p.drawText(QRect(4, 15, 76, halvex::ControlFace::kLineHeight), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromStdString(face_.StatusText()));

  // Lamps.
  switch (face_.RxLamp()) {
    case halvex::LampState::kBright:
      drawBoxedText(p, 80, 15, QStringLiteral("RX"), black, rgb(halvex::kBrightGreen));
      break;
    case halvex::LampState::kDim:
      drawBoxedText(p, 80, 15, QStringLiteral("RX"), black, rgb(halvex::kDarkGreen));
      break;
    case halvex::LampState::kBlank:
      break;
  }
  if (face_.TxLamp() == halvex::LampState::kBright)
    drawBoxedText(p, 100, 15, QStringLiteral("TX"), black, rgb(halvex::kRed));

  // Double separator.
  p.setPen(QColor(128, 128, 128));
  p.drawLine(1, 29, width() - 2, 29);
  p.setPen(Qt::white);
  p.drawLine(1, 30, width() - 2, 30);

  // Progress strip.
  for (const auto& item : face_.Progress()) {
    drawBoxedText(p, item.x, item.y, QString::fromStdString(item.text), rgb(item.foreground),
                  rgb(item.background));
  }

  if (face_.BerWaiting())
    drawBoxedText(p, 140, 2, QString::fromLatin1(halvex::ControlFace::kBerIndicator), black,
                  rgb(halvex::kRed));
}

}  // namespace qelta::gui
