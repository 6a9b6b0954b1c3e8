#include "cli/RowOutput.h"

#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <iostream>
#include <string_view>

namespace qelta::cli {

bool ParseOutputFormat(const std::string& name, OutputFormat& format) {
  if (name == "text") {
    format = OutputFormat::Text;
  } else if (name == "rows") {
    format = OutputFormat::Rows;
  } else if (name == "json") {
    format = OutputFormat::Json;
  } else {
    return false;
  }
  return true;
}

bool LocaleIsUtf8(const char* lcAll, const char* lcCtype, const char* lang) {
  const char* chosen = nullptr;
  for (const char* value : {lcAll, lcCtype, lang}) {
    if (value && *value) {
      chosen = value;
      break;
    }
  }
  if (!chosen) return false;
  std::string lower;
  for (const char* c = chosen; *c; ++c)
    if (*c != '-') lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return lower.find("utf8") != std::string::npos;
}

TerminalInfo StdoutTerminal() {
  TerminalInfo info;
  info.isTerminal = isatty(STDOUT_FILENO) == 1;
  winsize size{};
  if (info.isTerminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
    if (size.ws_col > 0) info.columns = size.ws_col;
    if (size.ws_row > 0) info.lines = size.ws_row;
  }
  info.utf8 = LocaleIsUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
  return info;
}

std::string IsoLocalTimeNow() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  const std::time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  char stamp[40];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  char offset[16];
  std::strftime(offset, sizeof offset, "%z", &local);  // +0200
  const int millis = static_cast<int>(now.tv_usec / 1000) % 1000;
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, ".%03d", millis);
  // ISO 8601 extended form of the offset: +02:00.
  std::string zone(offset);
  if (zone.size() == 5) zone = zone.substr(0, 3) + ":" + zone.substr(3);
  return std::string(stamp) + fraction + zone;
}

void RowPrinter::Write(const std::string& text) {
  if (stopped_) return;
  out_ << text;
  out_.flush();
  if (!out_.fail()) return;
  stopped_ = true;
  err_ << "qeltaconfig-cli: standard output cannot be written any more; printing stops, the "
          "command goes on\n";
  err_.flush();
}

std::unique_ptr<RowPrinter> MakeRowPrinter(OutputFormat format, std::ostream& out,
                                           std::ostream& err, const TerminalInfo& terminal) {
  switch (format) {
    case OutputFormat::Rows:
      return MakeRowsPrinter(out, err);
    case OutputFormat::Json:
      return MakeJsonPrinter(out, err);
    case OutputFormat::Text:
      break;
  }
  return MakeTextPrinter(out, err, terminal);
}

}  // namespace qelta::cli
