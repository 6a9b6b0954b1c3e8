#include "modules/ModuleDefaults.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "core/OutputImages.h"
#include "network/WebClient.h"

namespace qelta::network {
namespace {

struct DefaultStep {
  const char* text;
  const char* path;
  const char* body;
  bool gpio;
};

constexpr DefaultStep kDefaultSteps[] = {
    {"Set GPIO defaults.", kGpioFormPath,
     "selGpioPin%3F1=00000002&selGpioOutput%3F1=0&selGpioPin%3F2=00000003&selGpioPin%3F3="
     "00000002&selGpioOutput%3F3=0&selGpioPin%3F4=00000003&selGpioPin%3F5=00000002&"
     "selGpioOutput%3F5=0&Submit=Apply",
     true},
    {"Set serial port defaults.", kSerialFormPath,
     "description=Default+serial&baud_rate=19200&data_size=8&parity=0&stop_bits=1&flow_control="
     "None&Submit=Apply",
     false},
    {"Set \"TCP Sockets\" profile.", kProfileFormPath, "submit_type=0&port_profile=9&Submit=Apply",
     false},
    {"Set advanced serial settings.", kAdvancedSerialFormPath,
     "tcp_forward_state=on&tcp_forward_on_idle=on&tcp_forward_idle_timeout=5&tcp_forward_bytes="
     "300&tcp_idle_timeout_state=on&tcp_idle_timeout=60&Submit=Apply",
     false},
    {"Clearing description and location.", kSystemFormPath,
     "device_name=&contact=&location=&Submit=Apply", false},
    {"Use DHCP", kNetworkFormPath, kDhcpBody, false},
};

class File {
 public:
  explicit File(const std::string& path) : file_(std::fopen(path.c_str(), "w+")) {}
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  FILE* get() const { return file_; }
  void Close() {
    FILE* open = file_;
    file_ = nullptr;
    if (open) std::fclose(open);
  }

 private:
  FILE* file_;
};

std::string Printf(const char* format, long value) {
  char text[128];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string HttpErrorText(const char* format, const WebResult& r) {
  std::vector<char> text(256 + r.ErrorText().size());
  std::snprintf(text.data(), text.size(), format, r.code, r.ErrorText().c_str(), r.status);
  return text.data();
}

constexpr const char* kNotDoneText = "Not done";

// What failed before any setting was sent, for the station's row: "Login page: error 28: Timeout
// was reached. HTTP: 0.".
std::string WhyNotDone(const char* what, const WebResult& r) {
  return HttpErrorText((std::string(what) + ": error %d: %s. HTTP: %ld.").c_str(), r);
}

}  // namespace

void DefaultsForStation(fleet::StationHandle& s) {
  const BaseStationRecord& station = s.Record();
  if (station.address == 0 || station.address == 0xFFFFFFFFu) return;
  if (s.CheckPresence()) return;
  PostDefaultsForStation(s);
}

void PostDefaultsForStation(fleet::StationHandle& s) {
  const BaseStationRecord& station = s.Record();
  const std::string loginBody = LoginBody(s.Settings().moduleUser, s.Settings().modulePassword);
  WebSession& session = s.Web();
  FILE* answers = s.AnswerFile(kDefaultSetupFile);
  FILE* gpioAnswers = s.AnswerFile(kGpioSetupFile);

  const WebResult page = GetLoginPage(session, station, answers);
  if (!page.Ok()) {
    s.Notice(HttpErrorText("Error %d: %s.\nHTTP: %ld.", page), "HTTP error");
    // The station's one row: it was not worked on, and why.
    const int row = s.AddRow(kNotDoneText, station.addressText, ids::kImageFailure);
    s.SetText(row, 2, WhyNotDone("Login page", page));
    return;
  }
  s.AddRow("Operating on..........", station.addressText, ids::kImageInfo);
  const int progress = s.AddRow("Logging in.", "", ids::kImageStep);

  const WebResult login = PostLogin(session, station, loginBody, answers);
  if (!login.Ok()) {
    s.Notice(HttpErrorText("Login error %d: \"%s\".\nHTTP: %ld.", login), "Login error");
    s.SetText(progress, 0, kNotDoneText);
    s.SetImage(progress, ids::kImageFailure);
    s.SetText(progress, 1, station.addressText);
    s.SetText(progress, 2, WhyNotDone("Login", login));
    s.KeepPainting();
    return;
  }
  s.SetText(progress, 1, Printf("OK (%ld)", login.status));

  unsigned long errors = 0;
  // Forms the module answered with an HTTP error: the image stays, the kind tells it.
  bool refused = login.Kind() == RowKind::Failure;
  for (const DefaultStep& step : kDefaultSteps) {
    const WebResult r =
        PostForm(session, station, step.path, step.body, step.gpio ? gpioAnswers : answers);
    refused = refused || r.Kind() == RowKind::Failure;
    s.SetText(progress, 0, step.text);
    s.SetImage(progress, r.Ok() ? ids::kImageStep : ids::kImageFailure,
               r.Kind() == RowKind::Failure ? RowKind::Failure : RowKind::Step);
    s.SetText(progress, 1, std::string(r.Word()) + Printf(" (%ld)", r.status));
    if (!r.Ok()) ++errors;
    s.KeepPainting();
  }
  s.SetText(progress, 0, "Done");
  s.SetImage(progress, errors == 0 ? ids::kImageSuccess : ids::kImageFailure,
             refused ? RowKind::Failure : RowKind::Success);
  s.SetText(progress, 1, station.addressText);
  s.SetText(progress, 2, errors ? "Errors: " + std::to_string(errors) : std::string("No errors"));
  s.KeepPainting();
}

void ApplyDefaultEthernetSettings(fleet::RunHost& host, const BaseStationRecord* records,
                                  unsigned long count, fleet::FleetRun* run,
                                  const fleet::StationWork& work, bool answerFiles) {
  if (records == nullptr) count = 0;
  if (count > kMaxBaseStations) count = kMaxBaseStations;
  std::unique_ptr<fleet::FleetRun> ownRun;
  if (run == nullptr) {
    ownRun = std::make_unique<fleet::FleetRun>(host, records, count);
    run = ownRun.get();
  }
  fleet::StationSink& form = host.Sink();
  WebSession session;
  if (!session.Valid()) {
    form.Notice("Could not initialize HTTP interface.", "HTTP error");
    run->SkipPhase();
    return;
  }
  const std::string scratchPath = host.Settings().workingFolder + TickFileName();
  auto scratch = std::make_unique<File>(scratchPath);
  if (!scratch->get()) {
    form.Notice("Cannot open localsettings file for settings parsing.", "File open error");
    run->SkipPhase();
    return;
  }
  form.SilentClear();
  // One station at a time, the answers of every station go to the two files of the phase;
  // several at once, each station writes its own pair.
  run->Phase(work ? work : fleet::StationWork(DefaultsForStation),
             answerFiles ? std::vector<std::string>{kDefaultSetupFile, kGpioSetupFile}
                         : std::vector<std::string>{});
  scratch.reset();
  std::remove(scratchPath.c_str());
  form.SilentReport("(eth defaults)");
}

}  // namespace qelta::network
