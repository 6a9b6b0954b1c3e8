// The json format: JSON Lines, one object per row when it is final.
#include "core/ControlCharacters.h"
#include "cli/RowOutput.h"

namespace qelta::cli {
namespace {

class JsonPrinter final : public RowPrinter {
 public:
  using RowPrinter::RowPrinter;

  void Added(const PrintedRow&) override {}
  void Changed(const PrintedRow&, OutputListChange::Kind) override {}
  void Final(const PrintedRow& r) override { Write(JsonObject(r) + "\n"); }
  void Result(const std::string& name, const std::string& value, const std::string&) override {
    Write("{\"result\":" + JsonString(name) + ",\"value\":" + JsonString(value) + "}\n");
  }
};

}  // namespace

std::string JsonString(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      if (const std::size_t n = Utf8SequenceLength(text, i)) {
        out.append(text, i, n);
        i += n;
      } else {
        // A Latin-1 byte as its own character: U+0080..U+00FF in UTF-8.
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
        ++i;
      }
      continue;
    }
    ++i;
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0x0F];
        } else {
          out += static_cast<char>(byte);
        }
    }
  }
  return out + "\"";
}

std::string JsonObject(const PrintedRow& r) {
  return "{\"index\":" + std::to_string(r.index) +
         ",\"kind\":" + JsonString(RowKindName(r.row.kind)) +
         ",\"image\":" + std::to_string(r.row.image) + ",\"name\":" + JsonString(r.row.text[0]) +
         ",\"value\":" + JsonString(r.row.text[1]) + ",\"more\":" + JsonString(r.row.text[2]) +
         ",\"time\":" + JsonString(r.time) + "}";
}

std::unique_ptr<RowPrinter> MakeJsonPrinter(std::ostream& out, std::ostream& err) {
  return std::make_unique<JsonPrinter>(out, err);
}

}  // namespace qelta::cli
