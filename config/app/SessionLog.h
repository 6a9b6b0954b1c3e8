// The session log "QeltaConfig.log" in the working folder: one line per added row and per later
// change of a row: local time, image index and the three columns, tab-separated. Tabs and line
// breaks inside texts are written as blanks so a line stays one row; other control characters
// as \xHH.
#pragma once

#include <string>

#include "core/FileAccess.h"
#include "app/OutputList.h"

class SessionLog {
 public:
  static constexpr const char* kFileName = "QeltaConfig.log";

  explicit SessionLog(IFileAccess& files) : files_(files) {}
  // Folder with trailing '/'; empty: the current directory.
  void SetFolder(const std::string& folder) { folder_ = folder; }
  std::string Path() const { return folder_ + kFileName; }

  // Writes the line of `row` as it is now. A failed write is ignored (the log is a convenience,
  // it never stops an operation).
  void LogRow(const OutputRow& row);
  // Subscribes to a list: added rows and changed rows are logged.
  void Attach(OutputList& list);

  static std::string FormatLine(const std::string& time, const OutputRow& row);
  // A column's text with its tabs and line breaks as blanks, for one-line records.
  static std::string OneLine(const std::string& text);
  // A column as the log writes it: one line, control characters escaped.
  static std::string LogText(const std::string& text);

 private:
  IFileAccess& files_;
  std::string folder_;
};
