// The form's output list and message boxes as a row sink: what an operation reports goes straight
// into the list, as it happens.
#pragma once

#include "core/RowSink.h"

class CQeltaConfigView;

class FormSink : public qelta::RowSink {
 public:
  explicit FormSink(CQeltaConfigView& view) : view_(view) {}
  using RowSink::AddRow;
  using RowSink::SetImage;
  int AddRow(const std::string& name, const std::string& value, int image,
             qelta::RowKind kind) override;
  void SetText(int row, int column, const std::string& text) override;
  void SetImage(int row, int image, qelta::RowKind kind) override;
  void DeleteAllRows() override;
  void Message(const std::string& text, const std::string& caption, qelta::MessageButtons buttons,
               qelta::MessageIcon icon) override;
  void Beep() override;
  void KeepPainting() override;

 protected:
  CQeltaConfigView& view_;
};
