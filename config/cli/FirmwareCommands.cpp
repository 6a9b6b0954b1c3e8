// The firmware subcommand: loads a firmware image into the device on the COM port through the
// form's own firmware upload (dialog answered, upload armed, run from the timer), and shows the
// load's progress on stderr while it runs.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

#include "cli/CliContext.h"
#include "halvex/ControlFace.h"
#include "params/FirmwareUpload.h"

namespace {

constexpr int kBarWidth = 40;
constexpr int kPlainStepPercent = 5;

// Draws the progress of one load: a bar redrawn in place on a terminal, otherwise a line every
// few percent. Called from whichever thread changed the face, hence the lock.
class ProgressPrinter {
 public:
  ProgressPrinter(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  void Show(const std::optional<halvex::LoadProgress>& value) {
    std::lock_guard lock(m_);
    if (!value || value->total == 0) {
      // The load is over: the result rows that follow start on a line of their own.
      if (terminal_ && drawn_) out_ << '\n' << std::flush;
      drawn_ = false;
      return;
    }
    const int percent = static_cast<int>(uint64_t{value->done} * 100 / value->total);
    if (terminal_) {
      if (value->done == lastDone_ && drawn_) return;
      lastDone_ = value->done;
      const int filled = percent * kBarWidth / 100;
      out_ << "\rfirmware [" << std::string(static_cast<size_t>(filled), '#')
           << std::string(static_cast<size_t>(kBarWidth - filled), '.') << "] " << percent << "% "
           << value->done << '/' << value->total << std::flush;
      drawn_ = true;
      return;
    }
    if (lastPercent_ >= 0 && percent < lastPercent_ + kPlainStepPercent && percent != 100) return;
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    out_ << "firmware: " << percent << "% (" << value->done << '/' << value->total << ")\n"
         << std::flush;
  }

  // Ends the bar's line so that what follows starts on a line of its own.
  void Finish() {
    std::lock_guard lock(m_);
    if (terminal_ && drawn_) out_ << '\n' << std::flush;
    drawn_ = false;
  }

 private:
  std::mutex m_;
  std::ostream& out_;
  bool terminal_;
  bool drawn_ = false;
  uint32_t lastDone_ = 0;
  int lastPercent_ = -1;
};

struct FirmwareOptions {
  std::string file;
  int comPort = 0;
};

bool LoadFirmware(CliContext& c, const FirmwareOptions& o) {
  CQeltaConfigView& form = *c.form;
  if (o.comPort != 0) {
    if (o.comPort < 1 || o.comPort > 32767) return c.UsageError("the COM port must be 1 to 32767");
    form.comPort = o.comPort;  // this run only; the stored choice stays
  }
  if (o.file.empty()) return c.Fail("no usable path for the firmware image");
  c.ui.QueueFileDialogResult(o.file);
  qelta::ScriptedUi::DialogAnswer start;
  start.press = {"openFile"};
  start.accept = true;
  c.ui.QueueDialogAnswer(qelta::kFirmwareDialogName, start);

  halvex::ControlFace& face = form.link().Face();
  const bool terminal = &c.err == &std::cerr && isatty(STDERR_FILENO) == 1;
  auto printer = std::make_shared<ProgressPrinter>(c.err, terminal);
  const int listener =
      face.AddChangeListener([printer, &face] { printer->Show(face.CurrentLoadProgress()); });

  const bool ran = form.RunCommand(ids::kCmdFirmwareUpdate);
  // The upload is armed on the form's timer; the load runs when it fires.
  if (ran) c.ui.FireTimers();
  face.RemoveChangeListener(listener);
  printer->Finish();
  c.NoteForeignOutput();  // the bar's lines sit between the rows
  if (!ran) return c.Fail("the firmware upload is not available");
  if (form.pendingBoot) return c.Fail("the firmware upload did not start");
  return true;
}

}  // namespace

void RegisterFirmwareSubcommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<FirmwareOptions>();
  CLI::App* firmware = app.add_subcommand(
      "firmware",
      "Load a firmware image (.a20) into the device on the COM port through its boot "
      "loader (boot cable fitted, device in boot mode)");
  firmware->add_option("file", options->file, "The firmware image")->required();
  firmware->add_option("--com", options->comPort,
                       "Use COM port N for this load instead of the chosen one");
  firmware->callback([&ctx, options] {
    FirmwareOptions o = *options;
    o.file = PathFromStartFolder(o.file);
    ctx.action = [o](CliContext& c) { return LoadFirmware(c, o); };
  });
}
