// "Set description" on the selected base station: the module's description, location and host
// name through its system and advanced network forms, with the dialog CDescLocDlg.
#include <cstdio>

#include "app/BaseStationListOps.h"
#include "app/StationRuns.h"
#include "app/WebOperations.h"
#include "network/DescriptionSettings.h"
#include "network/WebClient.h"

namespace qelta::network {

void EditDescription(CQeltaConfigView& view) {
  BaseStationRecord* const target = view.selectedBaseStation;
  if (target == nullptr) return;
  DialogModel dialog = DescriptionDialog();
  if (!view.ui().RunDialog(dialog)) return;
  const BaseStationRecord station = *target;

  const std::string description = dialog.Value(kDescriptionField).substr(0, kDescriptionChars);
  const std::string location = dialog.Value(kLocationField).substr(0, kDescriptionChars);
  const std::string hostName = dialog.Value(kDescHostNameField).substr(0, kDescHostNameChars);

  WebSession session;
  if (!session.Valid()) {
    view.Message("Could not initialize HTTP interface.", "HTTP error");
    return;
  }
  const std::string answerPath = view.programDir + kDescriptionAnswerFile;
  FILE* answer = std::fopen(answerPath.c_str(), "w+");

  FormSink rows(view);
  bool httpFailed = false;
  session.SetUserAgent();
  const WebResult page = GetLoginPage(session, station, answer);
  view.AddOutputRow("Login file", HttpRowText(page.status), ids::kImageSuccess, page.Kind());
  if (!page.Ok()) {
    // Nothing reached the module: say so instead of ending on the success image above.
    view.AddOutputRow("Login failure", "", ids::kImageFailure);
  } else {
    httpFailed = IsHttpError(page.status);
    const WebResult login =
        PostLogin(session, station, LoginBody(view.ethUser, view.ethPassword), answer);
    if (!login.Ok()) {
      view.AddOutputRow("Login failure", "", ids::kImageFailure);
    } else {
      httpFailed = httpFailed || IsHttpError(login.status);
      const WebResult set =
          PostForm(session, station, kSystemFormPath,
                   "device_name=" + FormEncode(description) +
                       "&contact=&location=" + FormEncode(location) + "&Submit=Apply",
                   answer);
      view.AddOutputRow("Set description and location", StatusRowText(set),
                        set.Ok() ? ids::kImageSuccess : ids::kImageFailure, set.Kind());
      httpFailed = httpFailed || IsHttpError(set.status);
      if (set.Ok() && !hostName.empty() &&
          SetHostName(rows, &session, &station, hostName, answer) == 0 && !httpFailed) {
        NamedMutexGuard hold(view.directory().ListLock(), kClearListLockWaitMs);
        if (hold.Owned()) {
          std::snprintf(target->name, sizeof target->name, "%s", hostName.c_str());
        }
        OutputList& list = view.outputList();
        for (int row = 0; row < list.RowCount(); ++row) {
          if (list.Row(row).item == target) list.SetText(row, 0, hostName);
        }
      }
      LogoutFromModule(rows, &session, view.selectedBaseStation, view.programDir);
    }
  }
  if (answer) std::fclose(answer);
}

}  // namespace qelta::network
