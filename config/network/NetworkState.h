// The base station network's state held by the main form (CQeltaConfigView::network): the
// discovery component with the base station table, its lock and the silent list.
#pragma once

#include "network/BaseStationDiscovery.h"

class CQeltaConfigView;

struct NetworkState {
  explicit NetworkState(CQeltaConfigView& form) : view(form) {}
  CQeltaConfigView& view;
  qelta::network::BaseStationDiscovery discovery;
};
