// The base station menus' commands for the module operations.
#include "app/EthernetSettings.h"
#include "app/WebOperations.h"

namespace qelta::network {

void InstallWebCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kCmdSetDefaultEthernet, [v] { SetDefaultEthernetSettings(*v); });
  view.SetCommandHandler(ids::kCmdUploadDefaultEthernet,
                         [v] { UploadDefaultEthernetSettings(*v); });
  view.SetCommandHandler(ids::kCmdRebootModule, [v] { RebootModule(*v, true); });
  view.SetCommandHandler(ids::kCmdRebootModules, [v] { RebootModules(*v); });
  view.SetCommandHandler(ids::kCmdIpSettings, [v] { EditIpSettings(*v); });
  view.SetCommandHandler(ids::kCmdIpRecovery, [v] { RecoverIpSettings(*v); });
  view.SetCommandHandler(ids::kCmdSetDescription, [v] { EditDescription(*v); });
  view.SetCommandHandler(ids::kCmdViewEthernetSettings, [v] { ViewEthernetSettings(*v); });
}

}  // namespace qelta::network
