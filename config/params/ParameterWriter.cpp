#include "params/ParameterWriter.h"

#include "params/DecimalValue.h"
#include "params/ParameterTable.h"

namespace qelta {

namespace {

constexpr size_t kTextField = 20;
constexpr size_t kBtField = 12;
constexpr size_t kFunctionKeyText = 15;

std::string PadTo(std::string text, size_t size) {
  if (text.size() < size) text.append(size - text.size(), ' ');
  return text;
}

}  // namespace

bool ParameterWriter::WriteNumber(int16_t address, int32_t value) {
  return link_.SetEepromVal(address, CutTo16(value), page_) != -1;
}

bool ParameterWriter::WriteText(int16_t address, const std::string& text) {
  return link_.WriteStringToEeprom(address, page_, text);
}

bool ParameterWriter::WriteParameter(const std::string& name, const std::string& value) {
  if (!name.empty() && name[0] != '/') {
    rows_.AddOutputRow("Writing " + name + ":" + value, "", kImageStep);
  }
  const ParamDef* def = FindParameter(name);
  if (def == nullptr) return true;

  // Fields longer than their slot are cut so that no write reaches the next field; the user is
  // told unless only the line's own line feed was dropped.
  auto cutTo = [&](std::string text, size_t size) {
    if (text.size() <= size) return text;
    const bool onlyLineFeed = text.size() == size + 1 && text.back() == '\n';
    if (!onlyLineFeed) {
      rows_.AddOutputRow("Warning! " + std::string(def->name) + " value too long, cut to " +
                             std::to_string(size) + " chars",
                         "", kImageFailure, RowKind::Warning);
    }
    text.resize(size);
    return text;
  };

  int32_t number = ParseDecimal(value);
  if ((def->low && number < *def->low) || (def->high && number > *def->high)) {
    for (std::string_view warning : def->warnings) {
      rows_.AddOutputRow(std::string(warning), "", kImageFailure, RowKind::Warning);
    }
    number = ParseDecimal(std::to_string(def->defaultValue));
  }

  const auto address = static_cast<int16_t>(def->address);
  switch (def->kind) {
    case ParamKind::kNumber:
      return WriteNumber(address, number);
    case ParamKind::kPassword:
      return WriteNumber(141, number / 256) && WriteNumber(142, number % 256);
    case ParamKind::kEncryptKey: {
      const auto key = static_cast<uint32_t>(number);
      return WriteNumber(138, (key >> 16) & 0xFF) && WriteNumber(139, (key >> 8) & 0xFF) &&
             WriteNumber(140, key & 0xFF);
    }
    case ParamKind::kChannel: {
      int16_t channel = CutTo16(number);
      if (page_ == 0) return link_.WriteBlockToEeprom(kChannelAddressPage0, 0, 1, &channel);
      return link_.WriteBlockToEeprom(kChannelAddressPage2, 2, 1, &channel);
    }
    case ParamKind::kTextCut20: {
      std::string text = value.substr(0, kTextField);
      return WriteText(address, PadTo(std::move(text), kTextField));
    }
    case ParamKind::kTextPad20:
      return WriteText(address, PadTo(cutTo(value, kTextField), kTextField));
    case ParamKind::kBtAddress: {
      // The line's own line feed is not part of the address.
      std::string text = value;
      if (!text.empty() && text.back() == '\n') text.pop_back();
      if (text.size() != kBtField) {
        rows_.AddOutputRow(std::string(def->warnings.front()), "", kImageFailure, RowKind::Warning);
        text = PadTo(text.substr(0, kBtField), kBtField);
      }
      return WriteText(address, text);
    }
    case ParamKind::kBtName:
      if (value.empty()) return WriteNumber(address, 0);
      return WriteText(address, PadTo(cutTo(value, kBtField), kBtField));
    case ParamKind::kReset:
      link_.Reset();
      link_.Pause(1000);
      rows_.AddOutputRow("Resetting...", "", kImageStep);
      return true;
    case ParamKind::kFunctionKeyText:
      keys_[def->functionKey - 1].text = value;
      return true;
    case ParamKind::kFunctionKeySend:
      keys_[def->functionKey - 1].send = ParseDecimal(value);
      return true;
  }
  return true;
}

bool ParameterWriter::WriteFunctionKeys() {
  for (int n = 1; n <= kFunctionKeyCount; ++n) {
    const FunctionKeyEntry& key = keys_[n - 1];
    if (key.text.empty()) continue;
    link_.SetCurrentSource("F" + std::to_string(n) + "TXT (end of file)");
    rows_.AddOutputRow("F-key: " + std::to_string(n), "", kImageStep);
    // A slot holds 15 characters; the carriage return of a sending key must still fit.
    std::string text = key.text;
    const size_t room = key.send != 0 ? kFunctionKeyText - 1 : kFunctionKeyText;
    if (text.size() > room) {
      if (!(text.size() == room + 1 && text.back() == '\n')) {
        rows_.AddOutputRow("Warning! F" + std::to_string(n) + "TXT value too long, cut to " +
                               std::to_string(room) + " chars",
                           "", kImageFailure, RowKind::Warning);
      }
      text.resize(room);
    }
    if (key.send != 0) text.push_back('\r');
    const int16_t lengthAddress = FunctionKeyLengthAddress(n);
    if (link_.SetEepromVal(lengthAddress, static_cast<int16_t>(text.size()), 2) == -1) return false;
    if (!link_.WriteStringToEeprom(static_cast<int16_t>(lengthAddress + 1), 2, text)) return false;
  }
  return true;
}

void ParameterWriter::ClearFunctionKeys() {
  for (FunctionKeyEntry& key : keys_) key.text.clear();
}

}  // namespace qelta
