// "View Ethernet settings": one base station's network and serial settings, partly from its
// discovery record and partly from its module's configuration backup, read with the settings
// handler.
#pragma once

#include "app/QeltaConfigView.h"
#include "network/EthernetSettingsDocument.h"

namespace qelta::network {

// Rows of the form: label / text with the information image.
EthernetSettingsReader::RowSink FormRowSink(CQeltaConfigView& view);

// Command 104 on selectedBaseStation.
void ViewEthernetSettings(CQeltaConfigView& view);

}  // namespace qelta::network
