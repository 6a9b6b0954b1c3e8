// The shell's own subcommands: show the settings, choose the COM port, map a COM port to a
// device, the about text.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <memory>

#include "cli/CliContext.h"
#include "core/SettingsKey.h"

namespace {

// The number stored under `name` now, read afresh from the settings file.
std::optional<uint32_t> StoredNumber(CQeltaConfigView& form, const std::string& name) {
  SettingsDocument doc;
  if (form.settings().Open(doc) != 0) return std::nullopt;
  return ReadNumberValue(doc, name);
}

}  // namespace

void RegisterShellSubcommands(CLI::App& app, CliContext& ctx) {
  CLI::App* settings = app.add_subcommand("settings", "Show the loaded settings");
  settings->callback([&ctx] {
    ctx.action = [](CliContext& c) {
      CQeltaConfigView& f = *c.form;
      c.Result("SettingsFile", f.settings().Path());
      c.Result("GetSettingsPath", f.settingsPath);
      c.Result("EthUsernameDigiME", f.ethUser);
      c.Result("IgnoreNetTempIP", std::to_string(f.ignoreTempAddresses.load()));
      c.Result("UIService", std::to_string(f.uiService));
      c.Result("UIProduction", std::to_string(f.uiProduction));
      c.Result("ComPort", std::to_string(f.comPort));
      c.Result("ComDevice", f.link().ResolveComPort(static_cast<int16_t>(f.comPort)));
      c.Result("CommID", f.controls().Text(ids::kCommIdField));
      c.Result("WorkingFolder", f.programDir);
      // The password is not shown: the settings file is private to its user for its sake.
      return true;
    };
  });

  // Option values live in shared storage owned by the callbacks, which live as long as the app.
  auto port = std::make_shared<int>(0);
  CLI::App* com = app.add_subcommand("com-port", "Choose the serial port COM1..COM8");
  com->add_option("n", *port, "Port number 1..8")->required();
  com->callback([&ctx, port] {
    int n = *port;
    ctx.action = [n](CliContext& c) {
      if (n < 1 || n > 8) return c.UsageError("the COM port must be 1 to 8");
      if (!c.form->RunCommand(ids::kCmdCom1 + n - 1)) return c.Fail("COM port command missing");
      if (c.form->comPort != n) return c.Fail("the COM port could not be chosen");
      // The choice counts only once it is in the settings file: the next run reads it there.
      if (StoredNumber(*c.form, "ComPort") != static_cast<uint32_t>(n))
        return c.Fail("COM" + std::to_string(n) + " could not be stored in " +
                      c.form->settings().Path() + "; the stored COM port is unchanged");
      c.Result("ComPort", std::to_string(n));
      return true;
    };
  });

  auto mapping = std::make_shared<std::pair<int, std::string>>(0, std::string());
  CLI::App* dev = app.add_subcommand("com-device", "Map COM port N to a device path (\"\" unmaps)");
  dev->add_option("n", mapping->first, "Port number 1..32767")->required();
  dev->add_option("path", mapping->second,
                  "Device path, e.g. /dev/ttyUSB0 or /dev/serial/by-id/usb-...; stored as given "
                  "and looked up whenever the port is opened")
      ->required();
  dev->callback([&ctx, mapping] {
    auto m = *mapping;
    ctx.action = [m](CliContext& c) {
      if (m.first < 1 || m.first > 32767) return c.UsageError("the COM port must be 1 to 32767");
      if (int e = c.form->SetComDevice(m.first, m.second))
        return c.Fail("could not store the mapping, error " + std::to_string(e));
      c.Result("COM" + std::to_string(m.first),
               c.form->link().ResolveComPort(static_cast<int16_t>(m.first)));
      // A by-id name stays valid while the adapter is unplugged; say so rather than refuse it.
      if (!m.second.empty() && ::access(m.second.c_str(), F_OK) != 0) {
        c.NoteForeignOutput();
        c.err << "note: " << m.second << " does not exist now; it is looked up when COM" << m.first
              << " is opened\n";
      }
      return true;
    };
  });

  CLI::App* about = app.add_subcommand("about", "Show the about text");
  about->callback([&ctx] {
    ctx.action = [](CliContext& c) {
      qelta::ScriptedUi::DialogAnswer ok;
      c.ui.QueueDialogAnswer("CAboutDlg", ok);
      c.form->RunCommand(ids::kCmdAbout);
      const auto& dialogs = c.ui.Dialogs();
      if (dialogs.empty() || dialogs.back().name != "CAboutDlg")
        return c.Fail("the about box was not shown");
      // The texts alone, one a line; json names them.
      c.Result("title", dialogs.back().finalState.title, "");
      for (const auto& field : dialogs.back().finalState.fields)
        c.Result(field.name, field.value, "");
      return true;
    };
  });
}
