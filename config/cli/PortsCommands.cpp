// ports: the serial ports of this machine, the COM numbers that lead to each, and whether this
// user may open them, one output row a port.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>

#include "app/SerialPortList.h"
#include "cli/CliContext.h"

extern char** environ;

namespace {

std::string ComPortsText(const SerialPortEntry& port, int chosen) {
  std::string text;
  for (int n : port.comPorts) {
    if (!text.empty()) text += ", ";
    text += "COM" + std::to_string(n);
    if (n == chosen) text += " (chosen)";
  }
  return text;
}

std::string StateText(const SerialPortEntry& port) {
  std::string text;
  if (!port.present)
    text = "not present";
  else if (port.mayOpen)
    text = "may be opened";
  else
    text = port.group.empty() ? "no access" : "no access (group " + port.group + ")";
  for (std::size_t i = 0; i < port.byId.size(); ++i) text += (i == 0 ? "; " : ", ") + port.byId[i];
  return text;
}

std::vector<std::string> Environment() {
  std::vector<std::string> variables;
  for (char** v = environ; v && *v; ++v) variables.emplace_back(*v);
  return variables;
}

}  // namespace

void RegisterPortsSubcommands(CLI::App& app, CliContext& ctx) {
  auto root = std::make_shared<std::string>("/");
  CLI::App* cmd = app.add_subcommand(
      "ports", "List the serial ports, the COM port each is mapped to and whether you may open it");
  // Another root folder for /dev and /sys (a copy of a machine's tree); not shown in the help.
  cmd->add_option("--root", *root)->group("");
  cmd->callback([&ctx, root] {
    const std::string folder = PathFromStartFolder(*root);
    ctx.action = [folder](CliContext& c) {
      CQeltaConfigView& f = *c.form;
      SettingsDocument settings;
      f.settings().Open(settings);
      SerialPortQuery query;
      query.root = folder;
      // COM1 to COM8 mark the ports they lead to; mapped ones and the chosen one are shown
      // wherever they lead.
      const std::vector<int> mapped = MappedComPorts(Environment(), settings.Names());
      query.comPorts = mapped;
      for (int n = 1; n <= 8; ++n) query.comPorts.push_back(n);
      if (f.comPort > 0 && f.comPort <= 32767) query.comPorts.push_back(f.comPort);
      const int chosen = f.comPort;
      query.comPortShown = [mapped, chosen](int n) {
        return n == chosen || std::find(mapped.begin(), mapped.end(), n) != mapped.end();
      };
      query.comDevice = [&f](int n) { return f.link().ResolveComPort(static_cast<int16_t>(n)); };
      const std::vector<SerialPortEntry> ports = ListSerialPorts(query);
      if (ports.empty()) f.AddOutputRow("No serial ports found", "", ids::kImageInfo);
      for (const SerialPortEntry& port : ports) {
        // A port this user cannot open is news for the user, not a failure of the listing.
        const int row = port.mayOpen ? f.AddOutputRow(port.path, ComPortsText(port, f.comPort),
                                                      ids::kImageSuccess)
                                     : f.AddOutputRow(port.path, ComPortsText(port, f.comPort),
                                                      ids::kImageStep, qelta::RowKind::Information);
        f.outputList().SetText(row, 2, StateText(port));
      }
      return true;
    };
  });
}
