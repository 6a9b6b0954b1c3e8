#include "devices/StationListing.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "core/OutputImages.h"
#include "devices/Radio.h"
#include "halvex/HalvexCtrl.h"

namespace qelta {
namespace {

constexpr int kBeforeReadMs = 10;
constexpr int kAfterDisconnectMs = 50;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

std::string ChannelStateText(int16_t channel) {
  char text[64];
  if (channel >= kMinChannel && channel <= kMaxChannel) {
    std::snprintf(text, sizeof text, "Ch: %hd", channel);
  } else {
    std::snprintf(text, sizeof text, "Channel error %hd", channel);
  }
  return text;
}

std::string ConnectErrorText(uint32_t result) {
  if (result == 2) return "Connect error, already in use.";
  char text[64];
  std::snprintf(text, sizeof text, "Connect error (%lu)", static_cast<unsigned long>(result));
  return text;
}

void ListStation(fleet::StationHandle& s, ListedStation& found) {
  const BaseStationRecord& station = s.Record();
  const std::string name = network::BaseStationRowName(station);
  const std::string value = network::BaseStationRowValue(station);
  if (s.CheckPresence()) {
    found.state = "(not present)";
    const int row = s.AddRow(name, value, ids::kImageBaseStation);
    s.SetText(row, 2, found.state);
    s.KeepPainting();
    return;
  }
  found.present = true;
  found.connectResult = s.Link().ConnectTCP(station.address, station.port);
  const int row = s.AddRow(name, value, ids::kImageBaseStation);
  if (found.connectResult != 0) {
    found.state = ConnectErrorText(found.connectResult);
    s.SetText(row, 2, found.state);
    return;
  }
  SleepMs(kBeforeReadMs);
  found.channel = ReadChannel(s.Link(), kStationOverTcp);
  found.state = ChannelStateText(found.channel);
  s.SetText(row, 2, found.state);
  s.KeepPainting();
  s.Link().Disconnect();
  SleepMs(kAfterDisconnectMs);
}

}  // namespace qelta
