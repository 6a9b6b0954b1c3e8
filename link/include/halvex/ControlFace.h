// The link control's face as a model: caption, status text, RX/TX lamps, the progress line and
// the "Waiting BER data..." indicator. The host draws it (the GUI where control 1000 sits) and is
// told of every change through a callback. Thread-safe: the Receive worker lights the RX lamp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

// 0xRRGGBB
using Rgb = uint32_t;
constexpr Rgb kBlack = 0x000000;
constexpr Rgb kFaceGrey = 0xC0C0C0;
constexpr Rgb kBrightGreen = 0x00FF00;
constexpr Rgb kDarkGreen = 0x008000;
constexpr Rgb kRed = 0xFF0000;
constexpr Rgb kGreen = 0x00FF00;
constexpr Rgb kMagenta = 0xFF00FF;

enum class LampState {
  kBlank,   // not drawn
  kBright,  // RX: black on bright green while a chunk is processed; TX: black on red
  kDim,     // RX: black on dark green, 100 ms after a chunk
};

// How far a firmware load has come: exchanges confirmed by the device out of those the load
// will make (bootstrap bytes, then records or blocks).
struct LoadProgress {
  uint32_t done = 0;
  uint32_t total = 0;
  bool operator==(const LoadProgress&) const = default;
};

struct ProgressText {
  int x = 0;
  int y = 0;
  std::string text;
  Rgb foreground = kBlack;
  Rgb background = kFaceGrey;
};

class ControlFace {
 public:
  static constexpr int kCharWidth = 7;
  static constexpr int kLineHeight = 15;
  static constexpr int kProgressX = 1;
  static constexpr int kProgressY = 31;
  static constexpr int kProgressStripBottom = 47;
  static constexpr int kRxLampMs = 100;
  static constexpr const char* kBerIndicator = "Waiting BER data...";

  ControlFace();
  ~ControlFace();
  ControlFace(const ControlFace&) = delete;
  ControlFace& operator=(const ControlFace&) = delete;

  // Called after every change, on the thread that made it (the Receive worker too). Reset it
  // (nullptr) before whatever it refers to goes away; closing the link changes the face too.
  void SetChangeCallback(std::function<void()> onChange);

  // Further observers of every change, called like the change callback. A listener may still be
  // running on another thread when RemoveChangeListener returns: what it refers to must outlive
  // that (share it with the listener).
  int AddChangeListener(std::function<void()> onChange);
  void RemoveChangeListener(int id);

  std::string Caption() const;
  std::string StatusText() const;
  LampState RxLamp() const;
  LampState TxLamp() const;
  bool BerWaiting() const;
  // The texts on the progress strip, left to right.
  std::vector<ProgressText> Progress() const;
  // The progress strip (y 31) as one line: each text at its column (x / 7), blanks between.
  std::string ProgressLine() const;
  // The running load's progress; empty while no load runs.
  std::optional<LoadProgress> CurrentLoadProgress() const;

  // --- Used by the link ---
  void SetStatusText(const std::string& text);
  // Draws text opaquely: it covers whatever lay under its box (7 pixels per character).
  void DrawProgress(int x, int y, const std::string& text, Rgb foreground = kBlack,
                    Rgb background = kFaceGrey);
  // Empties the progress strip (y 31 to 47).
  void ClearProgress();
  // RX bright now, dim after 100 ms unless another chunk comes first.
  void RxActivity();
  void SetRxLamp(LampState state);
  void SetTxLamp(LampState state);
  void SetBerWaiting(bool on);
  // Progress of a firmware load; cleared when the load ends, however it ends.
  void SetLoadProgress(uint32_t done, uint32_t total);
  void ClearLoadProgress();
  // Tells the host to redraw without a change of the model.
  void Repaint();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace halvex
