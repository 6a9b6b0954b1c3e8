// A handler that writes every event it receives as one line, for comparing parses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "network/XmlParser.h"

namespace qelta::network::test {

class RecordingHandler : public XmlHandler {
 public:
  XmlHandler* OnXmlEvent(XmlParser& parser, int event, std::string_view element,
                         std::string_view attribute, std::string_view text) override {
    std::string line;
    switch (event) {
      case kXmlElementStart:
        line = "start " + std::string(element);
        break;
      case kXmlAttribute:
        line =
            "attr " + std::string(element) + " " + std::string(attribute) + "=" + std::string(text);
        break;
      case kXmlStartTagComplete:
        line = "open " + std::string(element);
        break;
      case kXmlText:
        line = "text " + std::string(element) + " [" + std::string(text) + "]";
        break;
      case kXmlElementEnd:
        line = "end " + std::string(element);
        break;
      default:
        line = "event " + std::to_string(event);
    }
    events.push_back(line);
    if (abortAt == static_cast<int>(events.size())) parser.status = abortCode;
    return this;
  }
  std::vector<std::string> events;
  int abortAt = 0;  // 1-based event number at which the handler stops the parse
  int32_t abortCode = 0;
};

struct ParseOutcome {
  int32_t code;
  std::string text;
  long line;
  std::vector<std::string> events;
};

inline ParseOutcome Parse(std::string_view document) {
  auto parser = XmlCreateParser(document.data(), static_cast<long>(document.size()));
  if (!parser) return {-1, "", -1, {}};
  RecordingHandler handler;
  const int32_t code = XmlParse(parser.get(), &handler);
  return {code, XmlErrorText(parser.get()), XmlLine(parser.get()), handler.events};
}

}  // namespace qelta::network::test
