#include "params/ParameterTable.h"

namespace qelta {

namespace {

constexpr std::string_view kBtAddressWarning = "Warning! BTADDR value length should be 12 chars";

// A number with a range: above `high` (or below `low`) it is replaced by `defaultValue`.
ParamDef Checked(std::string_view name, uint16_t address, int32_t high, int32_t defaultValue,
                 std::string_view warning, std::optional<int32_t> low = std::nullopt) {
  return {name, ParamKind::kNumber, address, low, high, defaultValue, {warning}};
}

ParamDef Plain(std::string_view name, ParamKind kind, uint16_t address = 0,
               std::vector<std::string_view> warnings = {}) {
  return {name, kind, address, std::nullopt, std::nullopt, 0, std::move(warnings)};
}

ParamDef Key(std::string_view name, ParamKind kind, int key) {
  ParamDef def = Plain(name, kind);
  def.functionKey = key;
  return def;
}

}  // namespace

std::span<const ParamDef> ParameterTable() {
  // clang-format off
  static const std::vector<ParamDef> table = {
      Plain("CUSTOMER_PARAM_NAME", ParamKind::kTextCut20, 100),
      Plain("CUSTOMER_PARAM_VER", ParamKind::kNumber, 120),
      Plain("SYSTEM_PARAM_VER", ParamKind::kNumber, 0),
      Checked("LCD_CONTRAST", 121, 100, 50, "Warning! LCD contrast value too big"),
      {"CHANNEL", ParamKind::kChannel, kChannelAddressPage2, std::nullopt, 31, 3,
       {"Channel value should be 1 - 7 for 433MHz radio",
        "Channel value should be 0 - 31 for Bluetooth radio"}},
      Checked("BACKLIT", 122, 1, 0, "Warning! LCD Back light on/off value should be 0 or 1"),
      Checked("WHAT_BEHAVIOUR", 128, 1, 0, "Warning! WHAT behaviour value should be 0 or 1"),
      Checked("POPMSG_BEHAVIOUR", 129, 1, 0,
              "Warning! PopMessage behaviour value should be 0 or 1"),
      Plain("HEADING", ParamKind::kTextCut20, 195),
      Checked("CHAR_MAP", 135, 255, 0, "Warning! CHAR_MAP value too big"),
      Checked("LSR_BEEP_TIME", 135, 255, 10, "Warning! LSR_BEEP_TIME value too big"),
      Checked("EXTRAID", 143, 255, 0, "Warning! ExtraID value too big"),
      {"PASSWORD", ParamKind::kPassword, 141, std::nullopt, 9999, 0,
       {"Warning! Password value too big"}},
      Checked("USE_ENCRYPT", 137, 1, 0, "Warning! USE_ENCRYPT on/off value should be 0 or 1"),
      Plain("ENCRYPT_KEY", ParamKind::kEncryptKey, 138),
      Checked("LEDONOFF", 658, 1, 1, "Warning! LED on/off value should be 0 or 1"),
      Checked("VOL_FREQ", 130, 255, 1, "Warning! Volume frequency value should be 0 - 255"),
      Checked("DOT_COMMA", 144, 1, 0, "Warning! Dot,Comma value should be 0 or 1"),
      Checked("REC_TIME_LIMIT", 126, 20, 1, "Warning! WaitTime value should be 0 - 20"),
      Checked("RESEND_TIMES", 127, 10, 1, "Warning! WaitTime value should be 1 - 10", 1),
      Checked("USE_WAIT_TABLE", 145, 1, 0, "Warning! USE_WAIT_TABLE value should be 0 or 1"),
      Checked("WAIT_1", 146, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("WAIT_2", 147, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("WAIT_3", 148, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("WAIT_4", 149, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("WAIT_5", 150, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("WAIT_6", 151, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("WAIT_7", 152, 30, 1, "Warning! WaitTime value should be 1 - 30", 1),
      Checked("SLEEP", 123, 255, 30, "Warning! Sleep value range should be 0-255 sec."),
      Checked("VOLUME", 133, 6, 3, "Warning! volume value range should be 0-6."),
      Checked("MENULANG", 136, 3, 1, "Warning! Menu language value should be 0 - 3"),
      Checked("RECMODE", 32, 1, 0, "Warning! Receive mode value should be 0 or 1"),
      Plain("RESET", ParamKind::kReset, 0),
      Checked("USEFORMLOCK", 153, 1, 0, "Warning! Use Formlock value should be 0 or 1"),
      Checked("USEDEFAULTTXT", 154, 1, 0,
              "Warning! Use Formlock custom txt value should be 0 or 1"),
      Plain("FORMLOCKTXT1", ParamKind::kTextPad20, 155),
      Plain("FORMLOCKTXT2", ParamKind::kTextPad20, 175),
      Checked("BATTERY", 134, 1, 0, "Warning! Battery value should be 0 or 1"),
      Checked("WAKESCAN", 124, 1, 0, "Warning! Wake & Scan value should be 0 or 1"),
      Checked("KEYSOUND", 132, 1, 0, "Warning! Key Sound value should be 0 or 1"),
      Checked("SEARCH_FILTER", 654, 1, 0, "Warning! SEARCH_FILTER value should be 0 or 1"),
      Checked("BT_OFF", 655, 1, 0, "Warning! BT_OFF value should be 0 or 1"),
      Checked("SILENT_WAIT", 657, 1, 0, "Warning! SILENT_WAIT value should be 0 or 1"),
      Plain("BTADDR1", ParamKind::kBtAddress, 441, {kBtAddressWarning}),
      Plain("BTADDR2", ParamKind::kBtAddress, 453, {kBtAddressWarning}),
      Plain("BTADDR3", ParamKind::kBtAddress, 465, {kBtAddressWarning}),
      Plain("BTADDR4", ParamKind::kBtAddress, 477, {kBtAddressWarning}),
      Plain("BTADDR5", ParamKind::kBtAddress, 489, {kBtAddressWarning}),
      Plain("BTADDR6", ParamKind::kBtAddress, 501, {kBtAddressWarning}),
      Plain("BTNAME1", ParamKind::kBtName, 570),
      Plain("BTNAME2", ParamKind::kBtName, 582),
      Plain("BTNAME3", ParamKind::kBtName, 594),
      Plain("BTNAME4", ParamKind::kBtName, 606),
      Plain("BTNAME5", ParamKind::kBtName, 618),
      Plain("BTNAME6", ParamKind::kBtName, 630),
      Key("F1TXT", ParamKind::kFunctionKeyText, 1),
      Key("F2TXT", ParamKind::kFunctionKeyText, 2),
      Key("F3TXT", ParamKind::kFunctionKeyText, 3),
      Key("F4TXT", ParamKind::kFunctionKeyText, 4),
      Key("F5TXT", ParamKind::kFunctionKeyText, 5),
      Key("F6TXT", ParamKind::kFunctionKeyText, 6),
      Key("F7TXT", ParamKind::kFunctionKeyText, 7),
      Key("F8TXT", ParamKind::kFunctionKeyText, 8),
      Key("F9TXT", ParamKind::kFunctionKeyText, 9),
      Key("F10TXT", ParamKind::kFunctionKeyText, 10),
      Key("F1SEND", ParamKind::kFunctionKeySend, 1),
      Key("F2SEND", ParamKind::kFunctionKeySend, 2),
      Key("F3SEND", ParamKind::kFunctionKeySend, 3),
      Key("F4SEND", ParamKind::kFunctionKeySend, 4),
      Key("F5SEND", ParamKind::kFunctionKeySend, 5),
      Key("F6SEND", ParamKind::kFunctionKeySend, 6),
      Key("F7SEND", ParamKind::kFunctionKeySend, 7),
      Key("F8SEND", ParamKind::kFunctionKeySend, 8),
      Key("F9SEND", ParamKind::kFunctionKeySend, 9),
      Key("F10SEND", ParamKind::kFunctionKeySend, 10),
  };
  // clang-format on
  return table;
}

const ParamDef* FindParameter(std::string_view name) {
  for (const ParamDef& def : ParameterTable()) {
    if (def.name == name) return &def;
  }
  return nullptr;
}

}  // namespace qelta
