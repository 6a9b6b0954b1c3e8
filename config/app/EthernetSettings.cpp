// "View Ethernet settings": the record's rows, then the module's backup downloaded after the
// login, read with the settings handler, and the logout.
#include "app/EthernetSettings.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "app/StationRuns.h"
#include "network/ScopedFile.h"
#include "network/WebClient.h"

namespace qelta::network {
namespace {

using File = ScopedFile;

std::string TransferErrorText(const char* format, const WebResult& r) {
  const std::string error = r.ErrorText();
  std::vector<char> text(256 + error.size());
  std::snprintf(text.data(), text.size(), format, r.code, error.c_str(), r.status);
  return text.data();
}

std::string DottedDecimal(uint32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", (unsigned long)(v >> 24),
                (unsigned long)((v >> 16) & 0xFF), (unsigned long)((v >> 8) & 0xFF),
                (unsigned long)(v & 0xFF));
  return text;
}

std::string DottedHex(uint32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%02X.%02X.%02X.%02X", (unsigned)(v >> 24),
                (unsigned)((v >> 16) & 0xFF), (unsigned)((v >> 8) & 0xFF), (unsigned)(v & 0xFF));
  return text;
}

}  // namespace

EthernetSettingsReader::RowSink FormRowSink(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  return [v](const std::string& label, const std::string& text) {
    v->AddOutputRow(label, text, ids::kImageInfo);
  };
}

void ViewEthernetSettings(CQeltaConfigView& view) {
  const std::string loginBody = LoginBody(view.ethUser, view.ethPassword);
  if (view.selectedBaseStation == nullptr) {
    view.Message("No valid base station selected!", "No base station");
    return;
  }
  if (!view.directory().ConfirmResponding(view.selectedBaseStation)) return;
  // A copy: the rows and requests below must not follow a record the table changes.
  const BaseStationRecord station = *view.selectedBaseStation;

  WebSession session;
  if (!session.Valid()) {
    view.Message("Could not initialize HTTP interface.", "HTTP error");
    return;
  }
  const std::string downloadName = TickFileName();
  const std::string downloadPath = view.programDir + downloadName;
  auto download = std::make_unique<File>(downloadPath, "w+b");
  if (!download->get()) {
    view.Message("Cannot open localsettings file for settings parsing.", "File open error");
    return;
  }
  File answers(view.programDir + "dummy.html", "w+");

  OutputList& list = view.outputList();
  view.AddOutputRow("Settings @ " + std::string(station.addressText), "", ids::kImageInfo);
  if (station.name[0]) view.AddOutputRow("Host name", station.name, ids::kImageInfo);
  if (station.macValid) view.AddOutputRow("MAC address", FormatMac(station.mac), ids::kImageInfo);
  if (station.maskValid) {
    const int row = view.AddOutputRow("Subnet mask", DottedDecimal(station.mask), ids::kImageInfo);
    list.SetText(row, 2, DottedHex(station.mask));
  }
  if (station.gatewayValid)
    view.AddOutputRow("Gateway", DottedDecimal(station.gateway), ids::kImageInfo);
  view.ui().KeepPainting();

  [&] {
    const WebResult home = GetLoginPage(session, station, answers.get());
    if (!home.Ok()) {
      view.Message(TransferErrorText("Ethernet home error %d: \"%s\".\nHTTP: %ld.", home),
                   "HTTP error");
      return;
    }
    const WebResult login = PostLogin(session, station, loginBody, answers.get());
    if (!login.Ok()) {
      view.Message(TransferErrorText("Ethernet login error %d: \"%s\".\nHTTP: %ld.", login),
                   "Login error");
      return;
    }
    const WebResult got = Download(session, station, kBackupPath, download->get());
    if (!got.Ok()) {
      view.Message("Cannot retrieve settings file (" + std::to_string(got.code) + "):\n\"" +
                       got.ErrorText() + "\"",
                   "Settings error");
      return;
    }
    download->Close();
    EthernetSettingsReader reader(FormRowSink(view));
    reader.Reset();
    std::vector<char> buffer;
    const int read = ReadWholeFile(downloadPath, buffer);
    if (read != kFileReadOk) {
      view.Message("Couldn't read " + downloadName + " (" + FileErrorText(read) + ").\n",
                   "File read error");
    } else {
      ShowSettingsDocument(buffer.data(), static_cast<long>(buffer.size()), reader);
    }
    FormSink rows(view);
    LogoutFromModule(rows, &session, view.selectedBaseStation, view.programDir);
  }();

  answers.Close();
  download.reset();
  std::remove(downloadPath.c_str());
}

}  // namespace qelta::network
