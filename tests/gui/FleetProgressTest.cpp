// The window during a run over many stations: the bar under the list with its text, the Cancel
// button that is taken while the window refuses every other input, and the bar gone afterwards.
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "GuiTestSupport.h"
#include "app/StationRuns.h"
#include "fleet/FleetRun.h"
#include "gui/FleetProgressPanel.h"

namespace qelta::gui::test {
namespace {

TEST(FleetProgressText, SaysStationsDoneOfTotalAndFailures) {
  struct Case {
    fleet::FleetProgress p;
    bool cancelling;
    const char* text;
  };
  const Case cases[] = {
      {{3, 8, 0, 1, 1, 4, false}, false, "3 / 8 stations, 0 failures"},
      {{8, 8, 1, 1, 1, 4, false}, false, "8 / 8 stations, 1 failure"},
      {{2, 64, 5, 2, 3, 16, false}, false, "Step 2/3: 2 / 64 stations, 5 failures"},
      {{2, 64, 0, 1, 1, 16, false}, true, "2 / 64 stations, 0 failures, cancelling"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FleetProgressPanel::progressText(c.p, c.cancelling).toStdString(), c.text);
}

TEST_F(GuiTest, CancelDuringARunIsTakenWhileOtherInputIsRefused) {
  constexpr int kRunCommand = 0x7F00;
  for (const int jobs : {1, 4}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    auto window = makeWindow();
    window->show();
    CQeltaConfigView& form = window->form();
    FleetProgressPanel* panel = window->fleetProgress();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isHidden());
    fleet::SetJobsOverride(form.fleet, jobs);
    std::vector<BaseStationRecord> names(12);
    for (std::size_t i = 0; i < names.size(); ++i)
      std::snprintf(names[i].addressText, sizeof names[i].addressText, "10.0.0.%zu", i + 1);
    QString seen;
    bool shownDuringRun = false;
    form.SetCommandHandler(kRunCommand, [&] {
      FormRunHost host(form);
      fleet::FleetRun run(host, names);
      run.Phase([](fleet::StationHandle& s) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        s.AddRow("Station", std::to_string(s.Index()), 1);
      });
    });
    // While the run blocks the window: a click on "Clear list" (refused), then on Cancel.
    QTimer::singleShot(200, [&] {
      shownDuringRun = panel->isVisible();
      seen = panel->bar()->format();
      QTest::mouseClick(window->control(ids::kClearListButton), Qt::LeftButton);
      QTest::mouseClick(panel->cancelButton(), Qt::LeftButton);
    });
    ASSERT_TRUE(window->runCommand(kRunCommand));
    EXPECT_TRUE(shownDuringRun);
    EXPECT_TRUE(seen.contains(QStringLiteral(" / 12 stations, 0 failures"))) << seen.toStdString();
    const auto& rows = form.outputList().Rows();
    std::size_t done = 0, cancelled = 0;
    for (const OutputRow& r : rows) {
      done += r.text[0] == "Station" ? 1 : 0;
      cancelled += r.text[0] == "Not started (cancelled)" ? 1 : 0;
    }
    // The list was not cleared by the refused click, and the run stopped early.
    EXPECT_GT(done, 0u);
    EXPECT_GT(cancelled, 0u);
    EXPECT_EQ(done + cancelled, names.size());
    EXPECT_TRUE(panel->isHidden());
    fleet::SetJobsOverride(form.fleet, 0);
  }
}

}  // namespace
}  // namespace qelta::gui::test
