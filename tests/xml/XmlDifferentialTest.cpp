// The parser against libxml2 on generated documents inside the subset the settings backup uses:
// both must see the same elements, attributes and texts in the same order.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <random>
#include <string>
#include <vector>

#include "XmlTestSupport.h"

namespace qelta::network {
namespace {

class DocumentGenerator {
 public:
  explicit DocumentGenerator(unsigned seed) : rng_(seed) {}

  std::string Document() {
    std::string doc;
    if (Chance(50)) doc += "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
    if (Chance(30)) doc += "<!-- generated -->\n";
    if (Chance(20)) doc += "<!DOCTYPE r [<!ELEMENT r ANY>]>\n";
    Element(doc, 0);
    if (Chance(30)) doc += "\n<!-- after -->\n";
    return doc;
  }

 private:
  bool Chance(int percent) { return Pick(100) < percent; }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string Name() {
    static const char* kNames[] = {"serial", "boot", "system", "baud", "ip", "dhcp", "a", "b"};
    std::string name = kNames[Pick(8)];
    if (Chance(30)) name += static_cast<char>('a' + Pick(26));
    if (Chance(10)) name += "-1.x_";
    return name;
  }

  // Text that both parsers read the same way: no carriage returns (libxml2 folds them), no "]".
  std::string Text(bool attribute) {
    static const char* kPieces[] = {"on",     "19200",  " ",     "x y",    "&amp;", "&lt;",  "&gt;",
                                    "&quot;", "&apos;", "&#65;", "&#x7a;", "&#X;",  "&#32;", "/"};
    std::string text;
    const int n = 1 + Pick(5);
    for (int i = 0; i < n; ++i) {
      std::string piece = kPieces[Pick(14)];
      if (piece == "&#X;") piece = "&#x4A;";
      text += piece;
    }
    if (!attribute && Chance(30)) text += "\n\t";
    return text;
  }

  void Element(std::string& doc, int depth) {
    const std::string name = Name();
    doc += "<" + name;
    const int attributes = Pick(3);
    for (int i = 0; i < attributes; ++i) {
      const char quote = Chance(50) ? '"' : '\'';
      doc += std::string(Chance(50) ? " " : "\n  ") + "k" + std::to_string(i) +
             (Chance(50) ? "=" : " = ") + quote + Text(true) + quote;
    }
    if (Chance(20)) doc += " ";
    if (depth > 4 || Chance(15)) {
      doc += "/>";
      return;
    }
    doc += ">";
    const int children = Pick(5);
    for (int i = 0; i < children; ++i) {
      switch (Pick(5)) {
        case 0:
        case 1:
          Element(doc, depth + 1);
          break;
        case 2:
          doc += Text(false);
          break;
        case 3:
          doc += "<!-- c -->";
          break;
        default:
          doc += "<?pi data?>";
          break;
      }
    }
    doc += "</" + name + (Chance(20) ? " >" : ">");
  }

  std::mt19937 rng_;
};

std::string Content(xmlNode* node) {
  xmlChar* c = xmlNodeGetContent(node);
  std::string s = c ? reinterpret_cast<const char*>(c) : "";
  xmlFree(c);
  return s;
}

void Walk(xmlNode* element, std::vector<std::string>& out) {
  const std::string name = reinterpret_cast<const char*>(element->name);
  out.push_back("start " + name);
  for (xmlAttr* a = element->properties; a; a = a->next) {
    out.push_back("attr " + name + " " + reinterpret_cast<const char*>(a->name) + "=" +
                  Content(reinterpret_cast<xmlNode*>(a)));
  }
  out.push_back("open " + name);
  std::string pending;
  bool inText = false;
  auto flush = [&] {
    if (inText && !pending.empty()) out.push_back("text " + name + " [" + pending + "]");
    pending.clear();
    inText = false;
  };
  for (xmlNode* c = element->children; c; c = c->next) {
    if (c->type == XML_TEXT_NODE) {
      pending += Content(c);
      inText = true;
    } else {
      flush();
      if (c->type == XML_ELEMENT_NODE) Walk(c, out);
    }
  }
  flush();
  out.push_back("end " + name);
}

TEST(XmlDifferentialTest, GeneratedDocumentsGiveTheSameEventsAsLibxml2) {
  xmlInitParser();
  for (unsigned seed = 1; seed <= 600; ++seed) {
    const std::string doc = DocumentGenerator(seed).Document();
    xmlDoc* reference = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "gen.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOWARNING);
    ASSERT_NE(reference, nullptr) << "libxml2 refused a generated document:\n" << doc;
    std::vector<std::string> expected;
    Walk(xmlDocGetRootElement(reference), expected);
    xmlFreeDoc(reference);

    const auto ours = test::Parse(doc);
    ASSERT_EQ(ours.code, kXmlOk) << ours.text << " on line " << ours.line << " of\n" << doc;
    ASSERT_EQ(ours.events, expected) << "seed " << seed << ":\n" << doc;
  }
  xmlCleanupParser();
}

TEST(XmlDifferentialTest, DocumentsLibxml2RefusesForMismatchedTagsAreRefusedToo) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::string doc = DocumentGenerator(seed).Document();
    const auto close = doc.rfind("</");
    if (close == std::string::npos) continue;
    doc.insert(close + 2, "zz");  // the last end tag no longer matches
    xmlDoc* reference = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "gen.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_EQ(reference, nullptr) << doc;
    if (reference) xmlFreeDoc(reference);
    EXPECT_EQ(test::Parse(doc).code, kXmlMismatchedEndTag) << doc;
  }
}

}  // namespace
}  // namespace qelta::network
