// Control 1000: the link control's face, drawn from the link's ControlFace model. The model may
// change on the link's worker threads; every change is handed to the GUI thread as a repaint.
#pragma once

#include <QWidget>
#include <memory>

namespace halvex {
class ControlFace;
}

namespace qelta::gui {

class LinkFaceWidget : public QWidget {
  Q_OBJECT
 public:
  LinkFaceWidget(halvex::ControlFace& face, QWidget* parent = nullptr);
  ~LinkFaceWidget() override;

  // Repaints requested by the model so far (coalesced; for tests).
  int repaintRequests() const { return repaintRequests_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Relay;
  void modelChanged();

  halvex::ControlFace& face_;
  std::shared_ptr<Relay> relay_;
  int repaintRequests_ = 0;
};

}  // namespace qelta::gui
