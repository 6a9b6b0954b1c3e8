// The settings backup's XML parser: a byte reader with references, the lexical units, and the
// element walk with its handlers kept on a heap stack.
#include "network/XmlParser.h"

#include <climits>
#include <new>
#include <vector>

namespace qelta::network {
namespace {

constexpr std::size_t kInitialTokenBytes = 512;
constexpr int kLargestCharacter = 255;

// Serves an element that nobody wants: everything below it is read and dropped.
class IgnoreAllHandler : public XmlHandler {
 public:
  XmlHandler* OnXmlEvent(XmlParser&, int, std::string_view, std::string_view,
                         std::string_view) override {
    return nullptr;
  }
};

IgnoreAllHandler& IgnoreAll() {
  static IgnoreAllHandler handler;
  return handler;
}

bool IsBlank(char c) { return static_cast<signed char>(c) <= 0x20; }

class Reader {
 public:
  explicit Reader(XmlParser& p) : p_(p) {}

  char Peek(int32_t k) const {
    if (k < 0 || p_.position >= p_.size || k >= p_.size - p_.position) return 0;
    return p_.data[p_.position + k];
  }
  bool AtEnd() const { return p_.position >= p_.size; }

  void Advance() {
    if (AtEnd()) return;
    const char c = p_.data[p_.position++];
    if (c == '\n' || (c == '\r' && Peek(0) != '\n')) ++p_.lines;
  }
  void Advance(int n) {
    while (n-- > 0) Advance();
  }

  bool Fail(int32_t code) {
    p_.status = code;
    return false;
  }

  bool ReadByte(char& c) {
    if (AtEnd()) return Fail(kXmlUnexpectedEnd);
    c = p_.data[p_.position];
    Advance();
    return true;
  }

  bool SkipBlanks() {
    while (!AtEnd() && IsBlank(Peek(0))) Advance();
    return AtEnd() ? Fail(kXmlUnexpectedEnd) : true;
  }

  bool Matches(std::string_view text) const {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (Peek(static_cast<int32_t>(i)) != text[i]) return false;
    return true;
  }

  // One byte into the token, a reference decoded.
  bool ReadCharacter() {
    char c;
    if (!ReadByte(c)) return false;
    if (c != '&') {
      p_.token.push_back(c);
      return true;
    }
    static constexpr struct {
      std::string_view name;
      char value;
    } kNamed[] = {{"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}, {"lt;", '<'}, {"gt;", '>'}};
    for (const auto& named : kNamed) {
      if (Matches(named.name)) {
        Advance(static_cast<int>(named.name.size()));
        p_.token.push_back(named.value);
        return true;
      }
    }
    if (Peek(0) != '#') return Fail(kXmlBadAmpersand);
    Advance();
    const bool hex = Peek(0) == 'x';
    if (hex) {
      Advance();
    } else if (!(Peek(0) >= '0' && Peek(0) <= '9')) {
      // Also at the end of the data: "&#" without a digit is a bad reference, not a short one.
      return Fail(kXmlBadAmpersand);
    }
    // The value stops growing once it is out of range, so a long run of digits cannot overflow.
    int value = 0;
    for (;;) {
      char d;
      if (!ReadByte(d)) return false;
      if (d == ';') break;
      int digit;
      if (d >= '0' && d <= '9') {
        digit = d - '0';
      } else if (hex && d >= 'a' && d <= 'f') {
        digit = d - 'a' + 10;
      } else if (hex && d >= 'A' && d <= 'F') {
        digit = d - 'A' + 10;
      } else {
        return Fail(kXmlBadAmpersand);
      }
      if (value <= kLargestCharacter) value = value * (hex ? 16 : 10) + digit;
    }
    if (value > kLargestCharacter) return Fail(kXmlUnicode);
    p_.token.push_back(static_cast<char>(value));
    return true;
  }

  // Skips up to and including `end`.
  bool SkipPast(std::string_view end) {
    while (!Matches(end)) {
      if (AtEnd()) return Fail(kXmlUnexpectedEnd);
      Advance();
    }
    Advance(static_cast<int>(end.size()));
    return true;
  }

  bool ReadNode() {
    if (AtEnd()) return Fail(kXmlUnexpectedEnd);
    if (Peek(0) != '<') {
      p_.tokenKind = kXmlTokenText;
      while (AtEnd() || Peek(0) != '<') {
        if (!ReadCharacter()) return false;
      }
      return true;
    }
    if (Peek(1) == '/') {
      p_.tokenKind = kXmlTokenEndTag;
      Advance(2);
      while (!AtEnd() && !IsBlank(Peek(0)) && Peek(0) != '>') {
        if (!ReadCharacter()) return false;
      }
      return SkipPast(">");
    }
    if (Peek(1) == '?') {
      p_.tokenKind = kXmlTokenProcessing;
      Advance(2);
      return SkipPast("?>");
    }
    if (Matches("<!--")) {
      p_.tokenKind = kXmlTokenComment;
      Advance(4);
      return SkipPast("-->");
    }
    if (Matches("<!DOCTYPE")) {
      p_.tokenKind = kXmlTokenDocType;
      Advance(9);
      for (int depth = 1; depth > 0;) {
        char c;
        if (!ReadByte(c)) return false;
        if (c == '<') ++depth;
        if (c == '>') --depth;
      }
      return true;
    }
    if (Peek(1) == '!') {
      p_.tokenKind = kXmlTokenDeclaration;
      Advance(2);
      return SkipPast(">");
    }
    p_.tokenKind = kXmlTokenStartTag;
    Advance();
    while (!AtEnd() && !IsBlank(Peek(0)) && Peek(0) != '/' && Peek(0) != '>') {
      if (!ReadCharacter()) return false;
    }
    return SkipBlanks();
  }

  bool ReadAttribute() {
    if (Peek(0) == '/') {
      if (Peek(1) != '>') return Fail(kXmlGreaterThanExpected);
      Advance(2);
      p_.tokenKind = kXmlTokenEndTag;
      return true;
    }
    if (Peek(0) == '>') {
      Advance();
      p_.tokenKind = kXmlTokenStartTagClosed;
      return true;
    }
    p_.tokenKind = kXmlTokenAttribute;
    // A name also ends at the tag's end, so "<a b>" asks for the equal sign instead of reading
    // the following markup as a name.
    while (!AtEnd() && !IsBlank(Peek(0)) && Peek(0) != '=' && Peek(0) != '>' && Peek(0) != '/') {
      if (!ReadCharacter()) return false;
    }
    if (!SkipBlanks()) return false;
    if (Peek(0) != '=') return Fail(kXmlEqualSignExpected);
    Advance();
    p_.attributeName.assign(p_.token);
    p_.token.clear();
    if (!SkipBlanks()) return false;
    const char quote = Peek(0);
    if (quote != '"' && quote != '\'') return Fail(kXmlQuoteExpected);
    Advance();
    for (;;) {
      if (AtEnd()) return Fail(kXmlUnexpectedEnd);
      if (Peek(0) == quote) break;
      if (!ReadCharacter()) return false;
    }
    Advance();
    return SkipBlanks();
  }

 private:
  XmlParser& p_;
};

struct OpenElement {
  std::string name;
  XmlHandler* handler;
};

class Walker {
 public:
  explicit Walker(XmlParser& p) : p_(p), reader_(p) {}

  // The element whose start tag was just read, its name in the token, announced to `parent`;
  // then every node up to the root's end tag.
  bool ParseRoot(XmlHandler* parent) {
    if (!OpenFromToken(parent)) return false;
    while (!open_.empty()) {
      p_.token.clear();
      if (!reader_.ReadNode()) return false;
      OpenElement& top = open_.back();
      switch (p_.tokenKind) {
        case kXmlTokenText:
          if (!Call(top.handler, kXmlText, top.name, {}, p_.token)) return false;
          break;
        case kXmlTokenStartTag:
          if (!OpenFromToken(top.handler)) return false;
          break;
        case kXmlTokenEndTag:
          if (p_.token != top.name) {
            p_.status = kXmlMismatchedEndTag;
            return false;
          }
          if (!Close()) return false;
          break;
        default:
          break;
      }
    }
    return p_.status == kXmlOk;
  }

 private:
  bool Call(XmlHandler* h, int event, std::string_view element, std::string_view attribute,
            std::string_view text, XmlHandler** answer = nullptr) {
    XmlHandler* a = h->OnXmlEvent(p_, event, element, attribute, text);
    if (answer) *answer = a;
    return p_.status == kXmlOk;
  }

  bool OpenFromToken(XmlHandler* parent) {
    OpenElement element{p_.token, nullptr};
    p_.token.clear();
    XmlHandler* served = nullptr;
    if (!Call(parent, kXmlElementStart, element.name, {}, {}, &served)) return false;
    element.handler = served ? served : &IgnoreAll();
    for (;;) {
      p_.token.clear();
      if (!reader_.ReadAttribute()) return false;
      if (p_.tokenKind == kXmlTokenStartTagClosed || p_.tokenKind == kXmlTokenEndTag) break;
      if (p_.tokenKind != kXmlTokenAttribute) {
        p_.status = kXmlAttributeExpected;
        return false;
      }
      if (!Call(element.handler, kXmlAttribute, element.name, p_.attributeName, p_.token))
        return false;
    }
    const bool empty = p_.tokenKind == kXmlTokenEndTag;
    if (!Call(element.handler, kXmlStartTagComplete, element.name, {}, {})) return false;
    open_.push_back(std::move(element));
    return empty ? Close() : true;
  }

  bool Close() {
    p_.token.clear();
    const OpenElement element = std::move(open_.back());
    open_.pop_back();
    return Call(element.handler, kXmlElementEnd, element.name, {}, {});
  }

  XmlParser& p_;
  Reader reader_;
  std::vector<OpenElement> open_;
};

int32_t ParseDocument(XmlParser& p, XmlHandler* handler) {
  Reader reader(p);
  for (;;) {
    if (!reader.SkipBlanks()) return p.status = kXmlNoDocumentTag;
    p.token.clear();
    if (!reader.ReadNode()) {
      // Text that runs to the end of the data has no tag after it: there is no document.
      if (p.tokenKind == kXmlTokenText && p.status == kXmlUnexpectedEnd) {
        return p.status = kXmlNoDocumentTag;
      }
      return p.status;
    }
    switch (p.tokenKind) {
      case kXmlTokenProcessing:
      case kXmlTokenComment:
      case kXmlTokenDocType:
        continue;
      case kXmlTokenStartTag: {
        Walker walker(p);
        walker.ParseRoot(handler);
        return p.status;
      }
      default:
        return p.status = kXmlNoDocumentTag;
    }
  }
}

}  // namespace

std::unique_ptr<XmlParser> XmlCreateParser(const char* data, long size) {
  if (data == nullptr || size <= 0 || size > INT32_MAX) return nullptr;
  try {
    auto parser = std::make_unique<XmlParser>();
    parser->token.reserve(kInitialTokenBytes);
    parser->data = data;
    parser->size = static_cast<int32_t>(size);
    return parser;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int32_t XmlParse(XmlParser* parser, XmlHandler* handler) {
  if (parser == nullptr) return kXmlNotInitialised;
  if (handler == nullptr) return parser->status = kXmlBadHandler;
  if (parser->status != kXmlNotStarted) return parser->status = kXmlNotInitialised;
  parser->status = kXmlOk;
  try {
    return ParseDocument(*parser, handler);
  } catch (const std::bad_alloc&) {
    return parser->status = kXmlOutOfMemory;
  }
}

const char* XmlErrorCodeText(int32_t code) {
  switch (code) {
    case kXmlOk:
      return "";
    case kXmlNotStarted:
      return "parsing has not yet started";
    case kXmlOutOfMemory:
      return "out of memory";
    case kXmlUnexpectedEnd:
      return "unexpected end of xml data";
    case kXmlBadAmpersand:
      return "illegal use of ampersand (&)";
    case kXmlUnicode:
      return "unicode characters are not supported";
    case kXmlGreaterThanExpected:
      return "greater than sign (>) expected";
    case kXmlQuoteExpected:
      return "quote (either ' or \") expected";
    case kXmlBadHandler:
      return "illegal xml handler specified";
    case kXmlNotInitialised:
      return "xml parser not initialized";
    case kXmlNoDocumentTag:
      return "no document tag found";
    case kXmlMismatchedEndTag:
      return "mismatched end tag";
    case kXmlAttributeExpected:
      return "attribute expected";
    case kXmlEqualSignExpected:
      return "equal sign (=) expected";
    default:
      return code > 1000 ? "parsing aborted" : "unknown error";
  }
}

const char* XmlErrorText(const XmlParser* parser) {
  return XmlErrorCodeText(parser ? parser->status : kXmlNotInitialised);
}

long XmlLine(const XmlParser* parser) { return parser ? parser->lines + 1L : -1L; }

}  // namespace qelta::network
