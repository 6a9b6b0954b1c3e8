// The rows format: every added and changed row as it comes, tab-separated.
#include "app/SessionLog.h"
#include "cli/RowOutput.h"
#include "core/ControlCharacters.h"

namespace qelta::cli {
namespace {

std::string Column(const std::string& text) {
  // One row a line, as in the session log: a configuration line's own line end stays out of it.
  return EscapeControlCharacters(SessionLog::OneLine(text));
}

class RowsPrinter final : public RowPrinter {
 public:
  using RowPrinter::RowPrinter;

  void Added(const PrintedRow& r) override { Line('+', r); }
  void Changed(const PrintedRow& r, OutputListChange::Kind what) override {
    // The stream has no kind column: a change of the kind alone shows nothing new.
    if (what != OutputListChange::KindChanged) Line('~', r);
  }
  void Final(const PrintedRow&) override {}
  void Result(const std::string& name, const std::string& value,
              const std::string& separator) override {
    const std::string shown = EscapeControlCharacters(value, LineBreaks::Keep);
    Write((separator.empty() ? shown : name + separator + shown) + "\n");
  }

 private:
  void Line(char sign, const PrintedRow& r) {
    Write(sign + std::to_string(r.index) + '\t' + std::to_string(r.row.image) + '\t' +
          Column(r.row.text[0]) + '\t' + Column(r.row.text[1]) + '\t' + Column(r.row.text[2]) +
          '\n');
  }
};

}  // namespace

std::unique_ptr<RowPrinter> MakeRowsPrinter(std::ostream& out, std::ostream& err) {
  return std::make_unique<RowsPrinter>(out, err);
}

}  // namespace qelta::cli
