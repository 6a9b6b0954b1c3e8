// How qeltaconfig-cli shows the output list on its standard output, in one of three formats:
//
//  rows  one line per added row ("+index<TAB>image<TAB>name<TAB>value<TAB>more") and per change
//        ("~index..."), as the rows come: the stream production scripts read (the default when
//        standard output is not a terminal).
//  text  for people (the default on a terminal): a status mark per kind and the three columns
//        aligned. On a terminal rows appear as they come and a changed row is redrawn in place
//        while it is still on the screen (printed again otherwise); elsewhere each row is printed
//        once, when it is final.
//  json  JSON Lines: one object per row when it is final, {"index", "kind", "image", "name",
//        "value", "more", "time"}; the values a command reports are {"result", "value"}.
//
// A row is final when the list is cleared or the command ends: nothing can change it any more.
// Control characters in the texts are shown escaped in every format. Once standard output
// cannot be written (a closed pipe) printing stops, said once on the error stream; the command
// itself goes on.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "app/OutputList.h"

namespace qelta::cli {

enum class OutputFormat { Text, Rows, Json };

// Parses "text", "rows" or "json".
bool ParseOutputFormat(const std::string& name, OutputFormat& format);

// What is known about the terminal standard output goes to.
struct TerminalInfo {
  bool isTerminal = false;  // in-place updates only then
  int columns = 80;
  int lines = 24;
  bool utf8 = false;  // marks drawn as ✓ ✗ ! i ·, else + x ! i -
};

// The terminal of this process's standard output (columns and lines from the terminal itself,
// the character set from LC_ALL, LC_CTYPE or LANG).
TerminalInfo StdoutTerminal();
// True when the locale named by these variables (the first one set wins) is UTF-8.
bool LocaleIsUtf8(const char* lcAll, const char* lcCtype, const char* lang);

// One row as the printers see it: its contents and when it last changed.
struct PrintedRow {
  int index = 0;
  OutputRow row;
  std::string time;  // ISO 8601, local time with offset, e.g. 2024-05-02T14:03:07.250+02:00
};

// The local time now as ISO 8601 with milliseconds and the offset.
std::string IsoLocalTimeNow();

class RowPrinter {
 public:
  RowPrinter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  virtual ~RowPrinter() = default;

  virtual void Added(const PrintedRow& row) = 0;
  // A change of a row that was added before (text, image or kind).
  virtual void Changed(const PrintedRow& row, OutputListChange::Kind what) = 0;
  // The row can no longer change.
  virtual void Final(const PrintedRow& row) = 0;
  // A value the command reports: text and rows show "name" + separator + "value" (an empty
  // separator shows the value alone); json names it.
  virtual void Result(const std::string& name, const std::string& value,
                      const std::string& separator) = 0;
  // Something else was written to the terminal (a message, a progress bar): rows printed before
  // are no longer where this printer left them.
  virtual void ForeignOutput() {}

  // False once standard output failed.
  bool Writing() const { return !stopped_; }

 protected:
  // Writes and flushes; the first failure stops every later write and is told on err once.
  void Write(const std::string& text);

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool stopped_ = false;
};

std::unique_ptr<RowPrinter> MakeRowPrinter(OutputFormat format, std::ostream& out,
                                           std::ostream& err, const TerminalInfo& terminal);
// Each format's printer (config/cli/RowsFormat.cpp, TextFormat.cpp, JsonFormat.cpp).
std::unique_ptr<RowPrinter> MakeRowsPrinter(std::ostream& out, std::ostream& err);
std::unique_ptr<RowPrinter> MakeTextPrinter(std::ostream& out, std::ostream& err,
                                            const TerminalInfo& terminal);
std::unique_ptr<RowPrinter> MakeJsonPrinter(std::ostream& out, std::ostream& err);

// The three columns of a row on one line for the text format: mark, name, value, more.
std::string TextLine(const OutputRow& row, bool utf8);
// A row as one JSON object (no line end).
std::string JsonObject(const PrintedRow& row);
// A JSON string literal: quotes, backslashes and control characters escaped (\n, \t, \u00XX);
// bytes that are not UTF-8 are taken as Latin-1, so the line is always valid UTF-8.
std::string JsonString(const std::string& text);

}  // namespace qelta::cli
