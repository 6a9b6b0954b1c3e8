// A small event-driven XML parser for the Ethernet modules' settings backup. It reads elements,
// attributes, text, the five named references and numeric character references up to 255;
// processing instructions, comments, document types and declarations are passed over. The
// document stays in the caller's memory; names and texts are collected in one reused buffer.
// Nesting is kept on the heap, so depth is bounded only by the document's size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qelta::network {

enum XmlEvent : int {
  kXmlElementEnd = 0,
  kXmlAttribute = 1,
  kXmlStartTagComplete = 2,
  kXmlText = 3,
  kXmlElementStart = 4,
};

enum XmlError : int32_t {
  kXmlOk = 0,
  kXmlNotStarted = 1,
  kXmlOutOfMemory = 2,
  kXmlUnexpectedEnd = 3,
  kXmlBadAmpersand = 4,
  kXmlUnicode = 5,
  kXmlGreaterThanExpected = 6,
  kXmlQuoteExpected = 7,
  kXmlBadHandler = 8,
  kXmlNotInitialised = 9,
  kXmlNoDocumentTag = 10,
  kXmlMismatchedEndTag = 11,
  kXmlAttributeExpected = 12,
  kXmlEqualSignExpected = 13,
  kXmlFirstAbortCode = 1001,  // a handler may stop the parse with any code above 1000
};

// Kinds of lexical units.
enum XmlTokenKind : int32_t {
  kXmlTokenStartTag = 0,
  kXmlTokenStartTagClosed = 1,
  kXmlTokenEndTag = 2,  // also an empty element's "/>"
  kXmlTokenProcessing = 3,
  kXmlTokenDocType = 4,
  kXmlTokenComment = 5,
  kXmlTokenAttribute = 6,
  kXmlTokenText = 7,
  kXmlTokenDeclaration = 8,
};

struct XmlParser;

// Receives the events of the elements it serves. Texts may hold any byte, NUL included.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  // Element start (only `element` set): the answer serves the element's attributes, text, end and
  // children; null ignores all of them. The answer of every other event is not used.
  // Setting parser.status to a non-zero value stops the parse with that code.
  virtual XmlHandler* OnXmlEvent(XmlParser& parser, int event, std::string_view element,
                                 std::string_view attribute, std::string_view text) = 0;
};

struct XmlParser {
  int32_t status = kXmlNotStarted;
  std::string token;  // the name or text being read
  int32_t tokenKind = kXmlTokenText;
  std::string attributeName;
  const char* data = nullptr;  // not owned
  int32_t size = 0;
  int32_t position = 0;
  int32_t lines = 0;
};

// Null when data is missing, size is not positive or memory runs out. The data is not copied
// and must outlive the parser.
std::unique_ptr<XmlParser> XmlCreateParser(const char* data, long size);

// Parses the whole document once; 0 or the error code (also left in status).
int32_t XmlParse(XmlParser* parser, XmlHandler* handler);

// The text of the parser's status ("" for none); XmlErrorCodeText for a bare code.
const char* XmlErrorText(const XmlParser* parser);
const char* XmlErrorCodeText(int32_t code);

// The line of the current position, counted from 1; -1 without a parser.
long XmlLine(const XmlParser* parser);

}  // namespace qelta::network
