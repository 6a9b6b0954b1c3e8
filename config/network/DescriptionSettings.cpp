#include "network/DescriptionSettings.h"

#include <cstdio>

#include "network/BaseStationListOps.h"
#include "network/WebClient.h"

namespace qelta::network {
namespace {

constexpr size_t kTextChars = 64;
constexpr size_t kHostNameChars = 32;

std::string StatusRow(const WebResult& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%s (%ld)", r.Word(), r.status);
  return text;
}

std::string HttpRow(long status) {
  char text[64];
  std::snprintf(text, sizeof text, "HTTP: %ld", status);
  return text;
}

}  // namespace

DialogModel DescriptionDialog() {
  DialogModel d;
  d.name = "CDescLocDlg";
  d.title = "Description and location";
  auto add = [&d](int id, const char* name, const char* label, FieldKind kind) {
    DialogField f;
    f.controlId = id;
    f.name = name;
    f.label = label;
    f.kind = kind;
    d.Add(std::move(f));
  };
  add(0, "descriptionGroup", "Description", FieldKind::Group);
  add(kDescriptionField, "description", "", FieldKind::Text);
  add(0, "locationGroup", "Location", FieldKind::Group);
  add(kLocationField, "location", "", FieldKind::Text);
  add(0, "hostGroup", "Host name (leave empty if not used)", FieldKind::Group);
  add(kDescHostNameField, "hostName", "", FieldKind::Text);
  add(0, "note", "These settings appear when \"Ethernet and serial settings\" is performed.",
      FieldKind::Label);
  d.Find(kDescriptionField)->maxLength = kTextChars;
  d.Find(kLocationField)->maxLength = kTextChars;
  d.Find(kDescHostNameField)->maxLength = kHostNameChars;
  return d;
}

void EditDescription(CQeltaConfigView& view) {
  BaseStationRecord* const target = view.selectedBaseStation;
  if (target == nullptr) return;
  DialogModel dialog = DescriptionDialog();
  if (!view.ui().RunDialog(dialog)) return;
  const BaseStationRecord station = *target;

  const std::string description = dialog.Value(kDescriptionField).substr(0, kTextChars);
  const std::string location = dialog.Value(kLocationField).substr(0, kTextChars);
  const std::string hostName = dialog.Value(kDescHostNameField).substr(0, kHostNameChars);

  WebSession session;
  if (!session.Valid()) {
    view.Message("Could not initialize HTTP interface.", "HTTP error");
    return;
  }
  const std::string answerPath = view.programDir + kDescriptionAnswerFile;
  FILE* answer = std::fopen(answerPath.c_str(), "w+");

  bool httpFailed = false;
  session.SetUserAgent();
  const WebResult page = GetLoginPage(session, station, answer);
  view.AddOutputRow("Login file", HttpRow(page.status), ids::kImageSuccess, page.Kind());
  if (!page.Ok()) {
    // Nothing reached the module: say so instead of ending on the success image above.
    view.AddOutputRow("Login failure", "", ids::kImageFailure);
  } else {
    httpFailed = IsHttpError(page.status);
    const WebResult login = PostLogin(session, station, LoginBody(view), answer);
    if (!login.Ok()) {
      view.AddOutputRow("Login failure", "", ids::kImageFailure);
    } else {
      httpFailed = httpFailed || IsHttpError(login.status);
      const WebResult set =
          PostForm(session, station, kSystemFormPath,
                   "device_name=" + FormEncode(description) +
                       "&contact=&location=" + FormEncode(location) + "&Submit=Apply",
                   answer);
      view.AddOutputRow("Set description and location", StatusRow(set),
                        set.Ok() ? ids::kImageSuccess : ids::kImageFailure, set.Kind());
      httpFailed = httpFailed || IsHttpError(set.status);
      if (set.Ok() && !hostName.empty() &&
          SetHostName(view, &session, &station, hostName, answer) == 0 && !httpFailed) {
        NamedMutexGuard hold(ListLock(view), kClearListLockWaitMs);
        if (hold.Owned()) {
          std::snprintf(target->name, sizeof target->name, "%s", hostName.c_str());
        }
        OutputList& list = view.outputList();
        for (int row = 0; row < list.RowCount(); ++row) {
          if (list.Row(row).item == target) list.SetText(row, 0, hostName);
        }
      }
      LogoutFromModule(view, &session);
    }
  }
  if (answer) std::fclose(answer);
}

}  // namespace qelta::network
