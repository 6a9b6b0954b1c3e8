// The settings backup's XML parser: events in document order, references, the passed-over node
// kinds, every error with its text and line, and the parser's one-parse life.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "XmlTestSupport.h"

namespace qelta::network {
namespace {

using test::Parse;
using V = std::vector<std::string>;

TEST(XmlParserTest, EventsComeInDocumentOrderWithAttributesTextAndEmptyElements) {
  const auto r = Parse(
      "<?xml version=\"1.0\"?>\n<!-- head -->\n<!DOCTYPE s [<!ELEMENT s ANY>]>\n"
      "<s a='1' b = \"two\"><serial><baud>19200</baud><x/><y k='v'/></serial>tail</s>trailing");
  EXPECT_EQ(r.code, kXmlOk);
  EXPECT_EQ(r.events, (V{"start s",       "attr s a=1",   "attr s b=two",
                         "open s",        "start serial", "open serial",
                         "start baud",    "open baud",    "text baud [19200]",
                         "end baud",      "start x",      "open x",
                         "end x",         "start y",      "attr y k=v",
                         "open y",        "end y",        "end serial",
                         "text s [tail]", "end s"}));
}

TEST(XmlParserTest, TextBetweenChildrenBelongsToTheEnclosingElementAndCommentsArePassedOver) {
  const auto r = Parse("<a>\n  <b>x</b><!-- c --><?pi x?><!ELEMENT z>\n</a>");
  EXPECT_EQ(r.code, kXmlOk);
  EXPECT_EQ(r.events, (V{"start a", "open a", "text a [\n  ]", "start b", "open b", "text b [x]",
                         "end b", "text a [\n]", "end a"}));
}

TEST(XmlParserTest, ReferencesAreDecodedInTextsAndValues) {
  auto r = Parse("<a v='&lt;&amp;&gt;'>&#65;&#x41;&#x4a;&#X;&quot;&apos;</a>");
  // "&#X;" is not a hexadecimal reference ("X" is no decimal digit).
  EXPECT_EQ(r.code, kXmlBadAmpersand);
  r = Parse("<a v='&lt;&amp;&gt;'>&#65;&#x41;&#x4a;&#x;&quot;&apos;&#255;</a>");
  EXPECT_EQ(r.code, kXmlOk);
  ASSERT_EQ(r.events.size(), 5u);
  EXPECT_EQ(r.events[1], "attr a v=<&>");
  EXPECT_EQ(r.events[3], std::string("text a [AAJ") + '\0' + "\"'\xff]");
}

TEST(XmlParserTest, BadReferencesStopTheParse) {
  struct Case {
    const char* doc;
    int32_t code;
  } cases[] = {
      {"<a>&#300;</a>", kXmlUnicode},
      {"<a>&#x100;</a>", kXmlUnicode},
      {"<a>&#99999999999999999999999;</a>", kXmlUnicode},  // no overflow into a small value
      {"<a>&#x10000000041;</a>", kXmlUnicode},
      {"<a>&nbsp;</a>", kXmlBadAmpersand},
      {"<a>& </a>", kXmlBadAmpersand},
      {"<a>&#;</a>", kXmlBadAmpersand},
      {"<a>&#6a;</a>", kXmlBadAmpersand},
      {"<a>&#x4g;</a>", kXmlBadAmpersand},
      {"<a>&#65", kXmlUnexpectedEnd},
      {"<a>&#", kXmlBadAmpersand},
      {"<a v='&#", kXmlBadAmpersand},
      {"<a>&#x", kXmlUnexpectedEnd},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.doc).code, c.code) << c.doc;
  }
  EXPECT_EQ(Parse("<a>&#300;</a>").text, "unicode characters are not supported");
}

TEST(XmlParserTest, MalformedDocumentsGiveTheirErrorTextAndLine) {
  struct Case {
    const char* doc;
    const char* text;
    long line;
  } cases[] = {
      {"<a>\n<b></c>\n</a>", "mismatched end tag", 2},
      {"<a v=1></a>", "quote (either ' or \") expected", 1},
      {"<a v></a>", "equal sign (=) expected", 1},
      {"<a/ ></a>", "greater than sign (>) expected", 1},
      {" \r\n\t ", "no document tag found", 2},
      {"<!-- only a comment -->", "no document tag found", 1},
      {"</a>", "no document tag found", 1},
      {"hello", "no document tag found", 1},
      {" text\nwith no tag ", "no document tag found", 2},
      {"<?pi?>text &#6", "no document tag found", 1},
      {"text &bad; <a/>", "illegal use of ampersand (&)", 1},
      {"<a>text\r\nmore", "unexpected end of xml data", 2},
      {"<a>\r\r\n\n<b>", "unexpected end of xml data", 4},
      {"<a v='open", "unexpected end of xml data", 1},
      {"<a><!-- never closed </a>", "unexpected end of xml data", 1},
      {"<a></a", "unexpected end of xml data", 1},
      {"<a", "unexpected end of xml data", 1},
  };
  for (const auto& c : cases) {
    const auto r = Parse(c.doc);
    EXPECT_EQ(r.text, c.text) << c.doc;
    EXPECT_EQ(r.line, c.line) << c.doc;
  }
}

TEST(XmlParserTest, EventsBeforeAnErrorAreDeliveredAndNothingAfter) {
  const auto r = Parse("<a><b>1</b><c>2</d><e>3</e></a>");
  EXPECT_EQ(r.code, kXmlMismatchedEndTag);
  EXPECT_EQ(r.events.back(), "text c [2]");
}

TEST(XmlParserTest, AHandlerStopsTheParseWithItsOwnCode) {
  const std::string doc = "<a><b>1</b><c>2</c></a>";
  auto parser = XmlCreateParser(doc.data(), static_cast<long>(doc.size()));
  test::RecordingHandler h;
  h.abortAt = 3;  // "start b"
  h.abortCode = 1234;
  EXPECT_EQ(XmlParse(parser.get(), &h), 1234);
  EXPECT_EQ(h.events.size(), 3u);
  EXPECT_STREQ(XmlErrorText(parser.get()), "parsing aborted");
}

class CountingChildren : public XmlHandler {
 public:
  XmlHandler* OnXmlEvent(XmlParser&, int event, std::string_view element, std::string_view,
                         std::string_view) override {
    ++events;
    // Only "keep" elements are served; everything below another element is ignored.
    return event == kXmlElementStart && element == "keep" ? this : nullptr;
  }
  int events = 0;
};

TEST(XmlParserTest, ANullAnswerIgnoresEverythingBelowTheElement) {
  const std::string doc = "<keep><skip a='1'><keep>x</keep></skip><keep>y</keep></keep>";
  auto parser = XmlCreateParser(doc.data(), static_cast<long>(doc.size()));
  CountingChildren h;
  // Root: start (parent), open, end; skip: start only; the keep below skip is unseen;
  // the last keep: start (by root's handler), open, text, end; root text none.
  EXPECT_EQ(XmlParse(parser.get(), &h), kXmlOk);
  EXPECT_EQ(h.events, 2 + 1 + 4 + 1);
}

TEST(XmlParserTest, AParserServesOneParseAndRefusesBadArguments) {
  const std::string doc = "<a/>";
  auto parser = XmlCreateParser(doc.data(), static_cast<long>(doc.size()));
  ASSERT_TRUE(parser);
  EXPECT_STREQ(XmlErrorText(parser.get()), "parsing has not yet started");
  test::RecordingHandler h;
  EXPECT_EQ(XmlParse(parser.get(), &h), kXmlOk);
  EXPECT_STREQ(XmlErrorText(parser.get()), "");
  EXPECT_EQ(XmlParse(parser.get(), &h), kXmlNotInitialised);
  EXPECT_STREQ(XmlErrorText(parser.get()), "xml parser not initialized");

  auto fresh = XmlCreateParser(doc.data(), static_cast<long>(doc.size()));
  EXPECT_EQ(XmlParse(fresh.get(), nullptr), kXmlBadHandler);
  EXPECT_STREQ(XmlErrorText(fresh.get()), "illegal xml handler specified");
  EXPECT_EQ(XmlParse(nullptr, &h), kXmlNotInitialised);
  EXPECT_EQ(XmlLine(nullptr), -1);

  EXPECT_FALSE(XmlCreateParser(nullptr, 4));
  EXPECT_FALSE(XmlCreateParser(doc.data(), 0));
  EXPECT_FALSE(XmlCreateParser(doc.data(), -1));
}

TEST(XmlParserTest, TheParserReadsOnlyTheGivenBytes) {
  // The size ends the document inside the root; the bytes after it must not be looked at.
  const std::string doc = "<a>text</a>";
  auto parser = XmlCreateParser(doc.data(), 7);
  test::RecordingHandler h;
  EXPECT_EQ(XmlParse(parser.get(), &h), kXmlUnexpectedEnd);
  EXPECT_LE(parser->position, 7);
}

TEST(XmlParserTest, DeepNestingIsParsedWithoutExhaustingTheStack) {
  constexpr int kDepth = 100000;
  std::string doc;
  for (int i = 0; i < kDepth; ++i) doc += "<e>";
  doc += "x";
  for (int i = 0; i < kDepth; ++i) doc += "</e>";
  const auto r = Parse(doc);
  EXPECT_EQ(r.code, kXmlOk);
  EXPECT_EQ(r.events.size(), static_cast<size_t>(kDepth) * 3 + 1);
  // The same depth left open ends cleanly with an error.
  EXPECT_EQ(Parse(doc.substr(0, kDepth * 3 + 1)).code, kXmlUnexpectedEnd);
}

TEST(XmlParserTest, BlanksIncludeControlAndHighBytesBetweenNodesAndInTags) {
  const std::string doc = std::string("\x01\xA0<a\x7F") + "\xC3v='1'>t</a>";
  // 0x7F is not a blank, so it belongs to the name; 0xC3 is a blank by its signed value.
  const auto r = Parse(doc);
  EXPECT_EQ(r.code, kXmlMismatchedEndTag);
  const auto ok = Parse(std::string("\x01\xA0<a\xC3v='1'>t</a>"));
  EXPECT_EQ(ok.code, kXmlOk);
  EXPECT_EQ(ok.events[1], "attr a v=1");
}

}  // namespace
}  // namespace qelta::network
