#include "app/FormSink.h"

#include "app/QeltaConfigView.h"

int FormSink::AddRow(const std::string& name, const std::string& value, int image,
                     qelta::RowKind kind) {
  return view_.AddOutputRow(name, value, image, kind);
}

void FormSink::SetText(int row, int column, const std::string& text) {
  view_.outputList().SetText(row, column, text);
}

void FormSink::SetImage(int row, int image, qelta::RowKind kind) {
  view_.outputList().SetImage(row, image, kind);
}

void FormSink::DeleteAllRows() { view_.outputList().DeleteAllRows(); }

void FormSink::Message(const std::string& text, const std::string& caption,
                       qelta::MessageButtons buttons, qelta::MessageIcon icon) {
  view_.ui().MessageBox(text, caption, buttons, icon);
}

void FormSink::Beep() { view_.ui().Beep(); }

void FormSink::KeepPainting() { view_.ui().KeepPainting(); }
