// The window's load progress bar: hidden without a load, following the face's progress, kept
// painting while a load blocks the GUI thread, and fed across threads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <thread>
#include <vector>

#include "../link_boot/BootTestSupport.h"
#include "gui/LoadProgressBar.h"
#include "halvex/ControlFace.h"

namespace {

class LoadProgressBarTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fwprog_gui_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) app_ = new QApplication(argc, argv);
  }

  // What the bar showed each time it let the window paint.
  struct Painted {
    bool visible;
    int value;
    int maximum;
  };
  std::vector<Painted> painted_;
  qelta::gui::LoadProgressBar* bar_ = nullptr;
  QWidget window_;

  std::unique_ptr<qelta::gui::LoadProgressBar> MakeBar(halvex::ControlFace& face) {
    auto bar = std::make_unique<qelta::gui::LoadProgressBar>(
        face,
        [this] {
          painted_.push_back({bar_->isVisible(), bar_->value(), bar_->maximum()});
          QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        },
        &window_);
    bar_ = bar.get();
    window_.show();
    return bar;
  }

  static QApplication* app_;
};
QApplication* LoadProgressBarTest::app_ = nullptr;

TEST_F(LoadProgressBarTest, FollowsTheFaceAndHidesWhenTheLoadEnds) {
  halvex::ControlFace face;
  auto bar = MakeBar(face);
  EXPECT_FALSE(bar->isVisible());

  QElapsedTimer clock;
  clock.start();
  face.SetLoadProgress(0, 40);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 40);
  EXPECT_EQ(bar->value(), 0);
  ASSERT_EQ(painted_.size(), 1u);  // the first change paints at once
  // The next ones paint at most every kPaintEveryMs, however fast they come: n paints take at
  // least (n - 1) of those intervals, whatever the machine's speed.
  for (uint32_t done = 1; done <= 25; ++done) face.SetLoadProgress(done, 40);
  EXPECT_EQ(bar->value(), 25);
  const auto bound = 1 + clock.elapsed() / qelta::gui::LoadProgressBar::kPaintEveryMs;
  EXPECT_LE(painted_.size(), static_cast<size_t>(bound));
  // Once an interval has passed, the next change paints.
  const size_t before = painted_.size();
  QThread::msleep(qelta::gui::LoadProgressBar::kPaintEveryMs + 20);
  face.SetLoadProgress(30, 40);
  ASSERT_EQ(painted_.size(), before + 1);
  EXPECT_EQ(painted_.back().value, 30);

  face.ClearLoadProgress();
  EXPECT_FALSE(bar->isVisible());
  // Changes of the face that are not progress leave it hidden.
  face.SetStatusText("COM1 4800");
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(LoadProgressBarTest, ChangesFromAnotherThreadArriveThroughTheEventLoop) {
  halvex::ControlFace face;
  auto bar = MakeBar(face);
  std::thread worker([&face] {
    for (uint32_t i = 0; i <= 10; ++i) face.SetLoadProgress(i, 10);
  });
  worker.join();
  EXPECT_FALSE(bar->isVisible());  // not yet: queued to the GUI thread
  QCoreApplication::processEvents();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value(), 10);
  EXPECT_TRUE(painted_.empty());  // the GUI thread is free: no need to push painting

  // A bar destroyed while a change is queued is not reached.
  std::thread late([&face] { face.SetLoadProgress(3, 10); });
  late.join();
  bar.reset();
  QCoreApplication::processEvents();
}

TEST_F(LoadProgressBarTest, TheBarMovesWhileABootBlocksTheGuiThread) {
  boottest::TempWorkDir dir;
  boottest::SimLine line;
  line.Device().SetBootMode(true);
  boottest::LinkOnLine link(line);
  boottest::WriteBootFile("5vboot.a20", 0xB600, boottest::Pattern(300));
  boottest::WriteBinary("Hsbt0105.a20", boottest::Pattern(200));
  auto bar = MakeBar(link.Link().Face());
  ASSERT_TRUE(link.Link().Connect(1, 19200));

  EXPECT_EQ(link.Link().Boot("Hsbt0105.a20"), 10);

  // Painted more than once during the load, always visible then, never going back.
  ASSERT_GE(painted_.size(), 2u);
  for (size_t i = 0; i < painted_.size(); ++i) {
    EXPECT_TRUE(painted_[i].visible);
    EXPECT_EQ(painted_[i].maximum, 302 + 7);
    if (i > 0) {
      EXPECT_GE(painted_[i].value, painted_[i - 1].value);
    }
  }
  EXPECT_LT(painted_.front().value, painted_.back().value);
  EXPECT_FALSE(bar->isVisible());
}

}  // namespace
