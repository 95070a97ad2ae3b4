#include "foundation/XmlElement.h"

#include "foundation/VStreams.h"

#include <gtest/gtest.h>

#include <string>

using Vorn::VMemOutputStream;
using Vorn::VString;
using Vorn::XmlElement;

namespace {

std::unique_ptr<XmlElement> parseOk(const std::string& text) {
    VString error;
    std::unique_ptr<XmlElement> root = XmlElement::parse(VString(text), error);
    EXPECT_TRUE(root) << "input: " << text << " error: " << error.c_str();
    EXPECT_TRUE(error.isEmpty());
    return root;
}

std::string parseError(const std::string& text) {
    VString error;
    std::unique_ptr<XmlElement> root = XmlElement::parse(VString(text), error);
    EXPECT_FALSE(root) << "input: " << text;
    return error.c_str();
}

std::string compact(const XmlElement& element) {
    return element.toString().c_str();
}

std::string indented(const XmlElement& element, int indent = 0) {
    VMemOutputStream out;
    element.write(out, indent);
    return std::string(out.data(), out.length());
}

// <root version="3"><c1 x="1"/><C2>t</C2><c3><g/></c3><c1 x="2"/></root>
std::unique_ptr<XmlElement> sampleTree() {
    auto root = std::make_unique<XmlElement>("root");
    root->setIntAttribute("version", 3);
    root->appendChild(std::make_unique<XmlElement>("c1"))->setAttribute("x", "1");
    root->addTextChild("C2", "t");
    root->appendChild(std::make_unique<XmlElement>("c3"))
        ->appendChild(std::make_unique<XmlElement>("g"));
    root->appendChild(std::make_unique<XmlElement>("c1"))->setAttribute("x", "2");
    return root;
}

TEST(XmlElementTest, ChildrenAreFoundByNameIgnoringCase) {
    auto root = sampleTree();
    XmlElement* first = root->child("C1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->attribute("x"), "1");
    XmlElement* second = first->nextSibling("c1");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->attribute("x"), "2");
    EXPECT_FALSE(second->nextSibling("c1"));
    EXPECT_EQ(root->child("c2"), first->nextSibling());
    EXPECT_FALSE(root->child("missing"));
    EXPECT_EQ(root->childText("c2"), "t");
    EXPECT_EQ(root->childText("missing"), "");
}

TEST(XmlElementTest, SetAttributeReplacesOrAppendsInOrder) {
    XmlElement element("e");
    element.setAttribute("b", "1");
    element.setAttribute("a", "2");
    element.setAttribute("B", "3");
    ASSERT_EQ(element.attributes().size(), 2u);
    EXPECT_EQ(element.attributes()[0].name, "b");
    EXPECT_EQ(element.attributes()[0].value, "3");
    EXPECT_EQ(element.attributes()[1].name, "a");
    EXPECT_TRUE(element.hasAttribute("A"));
    EXPECT_FALSE(element.hasAttribute("c"));
    EXPECT_EQ(element.attribute("c"), "");
    EXPECT_EQ(element.attribute("c", "dflt"), "dflt");
    EXPECT_EQ(compact(element), "<e b=\"3\" a=\"2\"/>");
}

TEST(XmlElementTest, IntAttributeParsesOnlyWholeNumbers) {
    const struct {
        const char* value;
        int expected;
    } cases[] = {
        {"12", 12},
        {"+12", 12},
        {"-12", -12},
        {"0x1F", 31},
        {"0x1f", 31},
        {"-0x10", -16},
        {"0x-10", -16},
        {"0x+10", 16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"0x7FFFFFFF", 2147483647},
        {"-0x80000000", -2147483647 - 1},
        {"12x", 77},
        {"0x", 77},
        {"-0x", 77},
        {"-0x-10", 77},
        {"+-1", 77},
        {"--1", 77},
        {"-", 77},
        {"", 77},
        {" 1", 77},
        {"1 ", 77},
        {"0x1G", 77},
        {"0X10", 77},
        {"2147483648", 77},
        {"-2147483649", 77},
        {"0xFFFFFFFF", 77},
        {"99999999999999999999999", 77},
    };
    for (const auto& c : cases) {
        XmlElement element("e");
        element.setAttribute("n", c.value);
        EXPECT_EQ(element.intAttribute("n", 77), c.expected) << "value: '" << c.value << "'";
    }
    EXPECT_EQ(XmlElement("e").intAttribute("n", 5), 5);
}

TEST(XmlElementTest, BoolAttributeLooksAtTheFirstVisibleCharacter) {
    const struct {
        const char* value;
        bool expected;
    } cases[] = {
        {" yes", true}, {"\tY", true}, {"1", true},   {"T", true},  {"true", true},
        {"y", true},    {"0", false},  {"no", false}, {"N", false}, {"", false},
        {"  ", false},  {"F", false},  {"x1", false}, {"2", false},
    };
    for (const auto& c : cases) {
        XmlElement element("e");
        element.setAttribute("b", c.value);
        EXPECT_EQ(element.boolAttribute("b"), c.expected) << "value: '" << c.value << "'";
    }
    EXPECT_FALSE(XmlElement("e").boolAttribute("b"));
}

TEST(XmlElementTest, TypedSettersWriteTheirTextForms) {
    XmlElement element("e");
    element.setBoolAttribute("on", true);
    element.setBoolAttribute("off", false);
    element.setIntAttribute("n", -42);
    element.setDoubleAttribute("d", 1.0 / 3);
    element.setDoubleAttribute("big", 1e20);
    element.setDoubleAttribute("long", 123456789.25);
    element.setDoubleAttribute("half", 1.5);
    EXPECT_EQ(compact(element), "<e on=\"Y\" off=\"N\" n=\"-42\" d=\"0.333333333\" big=\"1e+20\" "
                                "long=\"123456789\" half=\"1.5\"/>");
    EXPECT_TRUE(element.boolAttribute("on"));
    EXPECT_FALSE(element.boolAttribute("off"));
    EXPECT_EQ(element.intAttribute("n", 0), -42);
}

TEST(XmlElementTest, TextAndNumberChildren) {
    XmlElement element("e");
    EXPECT_FALSE(element.addTextChild("empty", ""));
    ASSERT_TRUE(element.addTextChild("forced", "", true));
    element.addTextChild("name", "Note On");
    element.setNumberChild("channel", 7);
    element.addTextChild("broken", "x")->setAttribute("num", "7x");
    EXPECT_EQ(compact(element),
              "<e><forced></forced><name>Note On</name><channel num=\"7\"/><broken num=\"7x\">x"
              "</broken></e>");
    EXPECT_EQ(element.numberChild("CHANNEL", -1), 7);
    EXPECT_EQ(element.numberChild("missing", -1), -1);
    EXPECT_EQ(element.numberChild("broken", -1), -1);
    EXPECT_EQ(element.childText("name"), "Note On");
    EXPECT_EQ(element.childText("forced"), "");
}

TEST(XmlElementTest, TextJoinsTextChildrenAndSetTextReplacesThem) {
    XmlElement element("e");
    element.appendChild(XmlElement::textNode("ab"));
    element.appendChild(std::make_unique<XmlElement>("x"));
    XmlElement* last = element.appendChild(XmlElement::textNode("cd"));
    EXPECT_EQ(element.text(), "abcd");
    last->setText("CD");
    EXPECT_EQ(last->text(), "CD");
    EXPECT_EQ(element.text(), "abCD");
    element.setText("new");
    EXPECT_EQ(compact(element), "<e>new</e>");
    element.setText("");
    EXPECT_EQ(compact(element), "<e/>");
}

TEST(XmlElementTest, CompactForm) {
    EXPECT_EQ(compact(XmlElement("a")), "<a/>");
    EXPECT_EQ(compact(*sampleTree()),
              "<root version=\"3\"><c1 x=\"1\"/><C2>t</C2><c3><g/></c3><c1 x=\"2\"/></root>");
    EXPECT_EQ(compact(*XmlElement::textNode("a<b")), "a&lt;b");
}

TEST(XmlElementTest, IndentedForm) {
    EXPECT_EQ(indented(XmlElement("a")), "<a/>\r\n");
    EXPECT_EQ(indented(*sampleTree()), "<root version=\"3\">\r\n"
                                       " <c1 x=\"1\"/>\r\n"
                                       " <C2>t</C2>\r\n"
                                       " <c3>\r\n"
                                       "  <g/>\r\n"
                                       " </c3>\r\n"
                                       " <c1 x=\"2\"/>\r\n"
                                       "</root>\r\n");
    EXPECT_EQ(indented(*sampleTree()->child("c3"), 2), "  <c3>\r\n"
                                                       "   <g/>\r\n"
                                                       "  </c3>\r\n");
}

TEST(XmlElementTest, MixedContentLayout) {
    XmlElement element("a");
    element.appendChild(XmlElement::textNode("hi"));
    element.appendChild(std::make_unique<XmlElement>("b"));
    element.appendChild(XmlElement::textNode("yo"));
    EXPECT_EQ(compact(element), "<a>hi<b/>yo</a>");
    EXPECT_EQ(indented(element), "<a>\r\nhi\r\n <b/>\r\n yo\r\n</a>\r\n");
}

TEST(XmlElementTest, LongAttributeListsContinueAlignedAfterTheName) {
    XmlElement element("node");
    element.setAttribute("first", VString(std::string(30, 'f')));  // 39 counted
    element.setAttribute("second", VString(std::string(21, 's'))); // 70: the next one wraps
    element.setAttribute("third", "x");
    element.setAttribute("fourth", "y");
    const std::string f(30, 'f');
    const std::string s(21, 's');
    EXPECT_EQ(indented(element, 2), "  <node first=\"" + f + "\" second=\"" + s + "\"\r\n" +
                                        std::string(7, ' ') + " third=\"x\" fourth=\"y\"/>\r\n");
    // Exactly 60 counted characters do not wrap yet.
    XmlElement fits("n");
    fits.setAttribute("a", VString(std::string(55, 'a'))); // 60 counted
    fits.setAttribute("b", "1");
    EXPECT_EQ(indented(fits), "<n a=\"" + std::string(55, 'a') + "\" b=\"1\"/>\r\n");
    // The compact form never wraps.
    EXPECT_EQ(compact(element).find('\n'), std::string::npos);
    auto reread = parseOk(indented(element));
    EXPECT_EQ(compact(*reread), compact(element));
}

TEST(XmlElementTest, EscapingOverUtf16Units) {
    const struct {
        const char* raw;
        const char* asText;
        const char* asAttribute;
    } cases[] = {
        {"az AZ 09", "az AZ 09", "az AZ 09"},
        {".,;:-()_+=?!'#@[]/\\*%~{}", ".,;:-()_+=?!'#@[]/\\*%~{}", ".,;:-()_+=?!'#@[]/\\*%~{}"},
        {"\"&<>", "&quot;&amp;&lt;&gt;", "&quot;&amp;&lt;&gt;"},
        {"a\tb", "a&#9;b", "a&#9;b"},
        {"a\nb\rc", "a\nb\rc", "a&#10;b&#13;c"},
        {"$^|`", "&#36;&#94;&#124;&#96;", "&#36;&#94;&#124;&#96;"},
        {"caf\xC3\xA9", "caf&#233;", "caf&#233;"},
        {"\xE2\x82\xAC", "&#8364;", "&#8364;"},
        {"\xF0\x9F\x98\x80", "&#55357;&#56832;", "&#55357;&#56832;"},
    };
    for (const auto& c : cases) {
        XmlElement element("e");
        element.setAttribute("v", c.raw);
        element.appendChild(XmlElement::textNode(c.raw));
        EXPECT_EQ(compact(element),
                  std::string("<e v=\"") + c.asAttribute + "\">" + c.asText + "</e>")
            << "raw: " << c.raw;
        auto reread = parseOk(compact(element));
        EXPECT_EQ(reread->attribute("v"), c.raw);
        EXPECT_EQ(reread->text(), c.raw);
    }
}

TEST(XmlElementTest, TextThatIsNotUnicodeIsWrittenAsReplacementCharacters) {
    // An encoded lone surrogate, and a pair of encoded surrogates that together name U+10000.
    XmlElement element("e");
    element.setAttribute("lone", "a\xED\xA0\x80z");
    element.setAttribute("pair", "\xED\xA0\x80\xED\xB0\x80");
    const std::string written = compact(element);
    EXPECT_EQ(written, "<e lone=\"a&#65533;z\" pair=\"&#55296;&#56320;\"/>");
    auto reread = parseOk(written);
    EXPECT_EQ(reread->attribute("lone"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(reread->attribute("pair"), "\xF0\x90\x80\x80");
}

TEST(XmlElementTest, RoundTripsThroughBothForms) {
    auto root = sampleTree();
    root->setAttribute("note", "line 1\nline 2\ttab \"q\" <&> \xF0\x9F\x8E\xB9");
    root->addTextChild("blank", " ");
    root->addTextChild("multi", "a\r\nb");
    for (int indent : {-1, 0, 3}) {
        VMemOutputStream out;
        root->write(out, indent);
        auto reread = parseOk(std::string(out.data(), out.length()));
        EXPECT_EQ(compact(*reread), compact(*root)) << "indent " << indent;
        EXPECT_EQ(reread->childText("blank"), " ");
    }
}

TEST(XmlElementTest, ReaderErrorsAreFixedTexts) {
    const struct {
        const char* input;
        const char* message;
    } cases[] = {
        {"<?xml version=\"1.0\"", "incorrect xml header"},
        {"", "not enough input"},
        {"  \r\n", "not enough input"},
        {"<?xml version=\"1.0\"?>", "not enough input"},
        {"<a>", "not enough input"},
        {"<a", "not enough input"},
        {"<a x='1'", "not enough input"},
        {"<a x=", "not enough input"},
        {"<a><b/>text", "not enough input"},
        {"<a></a", "not enough input"},
        {"<!-- open", "not enough input"},
        {"<a><!-- open</a>", "not enough input"},
        {"<!DOCTYPE a [ <!ENTITY x '>'>", "not enough input"},
        {"<", "not enough input"},
        {"< a/>", "tag name missing"},
        {"<>", "tag name missing"},
        {"<a></ a>", "tag name missing"},
        {"plain text", "tag name missing"},
        {"<a>&lt;</>", "tag name missing"},
        {"<a %/>", "illegal character found in a: '%'"},
        {"<item x=1/>", "illegal character found in item: '1'"},
        {"<a x/>", "illegal character found in a: '/'"},
        {"<a/ >", "illegal character found in a: ' '"},
        {"<a></a b>", "illegal character found in a: 'b'"},
        {"<a x=\"1/>", "unmatched quotes"},
        {"<a x='1\"/>", "unmatched quotes"},
        {"<a></b>", "unmatched tags"},
        {"<a><b></a></b>", "unmatched tags"},
        {"<a>&nbsp;</a>", "DTD entities not supported"},
        {"<a x='&foo;'/>", "DTD entities not supported"},
        {"<!DOCTYPE a [<!ENTITY e 'v'>]><a>&e;</a>", "DTD entities not supported"},
        {"<a>a & b</a>", "illegal escape sequence"},
        {"<a>&amp</a>", "illegal escape sequence"},
        {"<a>&;</a>", "illegal escape sequence"},
        {"<a>&#;</a>", "illegal escape sequence"},
        {"<a>&#x;</a>", "illegal escape sequence"},
        {"<a>&#12a;</a>", "illegal escape sequence"},
        {"<a x='&#x4G;'/>", "illegal escape sequence"},
        {"<a>&#99999999999999999999;</a>", "illegal escape sequence"},
        {"<a>&#0;</a>", "illegal escape sequence"},
        {"<a>&#x0;</a>", "illegal escape sequence"},
        {"<a>&#x110000;</a>", "illegal escape sequence"},
        {"<a>&#xD800;</a>", "illegal escape sequence"},
        {"<a>&#xDFFF;</a>", "illegal escape sequence"},
        {"<a>&#55357;x</a>", "illegal escape sequence"},
        {"<a>&#55357;&#55357;</a>", "illegal escape sequence"},
        {"<a>&#55357;&amp;</a>", "illegal escape sequence"},
        {"<a><![CDATA[x</a>", "unterminated CDATA section"},
        {"<a><![CDATA[x]]</a>", "unterminated CDATA section"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseError(c.input), c.message) << "input: " << c.input;
    }
}

TEST(XmlElementTest, ReaderSkipsDeclarationDoctypeAndComments) {
    auto root = parseOk("  <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                        "<!-- first -->\n"
                        "<!DOCTYPE cfg [ <!ELEMENT cfg ANY> <!ATTLIST cfg v CDATA \"a>b\"> ]>\n"
                        "<cfg v='1'><!-- inside --><x/><!----></cfg>\n"
                        "<!-- after --> anything");
    EXPECT_EQ(compact(*root), "<cfg v=\"1\"><x/></cfg>");
}

TEST(XmlElementTest, ReaderContent) {
    const struct {
        const char* input;
        const char* written;
    } cases[] = {
        {"<a/>", "<a/>"},
        {"<a></a>", "<a/>"},
        {"<A></a >", "<A/>"},
        {"<a x='it\"s' y=\"it's\" />", "<a x=\"it&quot;s\" y=\"it's\"/>"},
        {"<a\n x = '1'\ty='2'/>", "<a x=\"1\" y=\"2\"/>"},
        {"<a x='1' X='2'/>", "<a x=\"2\"/>"},
        {"<a>&AMP;&Quot;&apos;&lt;&GT;</a>", "<a>&amp;&quot;'&lt;&gt;</a>"},
        {"<a>&#65;&#x42;&#X63;&#x1F600;&#55357;&#56832;</a>",
         "<a>ABc&#55357;&#56832;&#55357;&#56832;</a>"},
        {"<a x='l1&#10;l2'/>", "<a x=\"l1&#10;l2\"/>"},
        {"<a><![CDATA[<b>&amp;]]></a>", "<a>&lt;b&gt;&amp;amp;</a>"},
        {"<a>x<![CDATA[y]]><!-- c -->z</a>", "<a>xyz</a>"},
        {"<a><![CDATA[]]></a>", "<a/>"},
        {"<a>\n  <b> </b>\n  <c>\t</c>\n</a>", "<a><b> </b><c>&#9;</c></a>"},
        {"<a>\n  text  \n  <b/>\n</a>", "<a>\n  text  \n  <b/></a>"},
        {"<a> <![CDATA[ ]]> <b/></a>", "<a><b/></a>"},
        {"<a>1 > 0</a>", "<a>1 &gt; 0</a>"},
        {"<a:b-c.d_e\xC3\xA9/>", "<a:b-c.d_e\xC3\xA9/>"},
        // Malformed UTF-8 reads as U+FFFD per byte rather than vanishing when written.
        {"<a x='\xED\xA0\x80 \xC0\x80'>\xF6 </a>",
         "<a x=\"&#65533;&#65533;&#65533; &#65533;&#65533;\">&#65533; </a>"},
        {"<a><![CDATA[\xF4\x90\x80\x80\xE2\x82]]></a>",
         "<a>&#65533;&#65533;&#65533;&#65533;&#65533;&#65533;</a>"},
    };
    for (const auto& c : cases) {
        auto root = parseOk(c.input);
        if (root) {
            EXPECT_EQ(compact(*root), c.written) << "input: " << c.input;
        }
    }
}

TEST(XmlElementTest, NestingDepthIsCapped) {
    const int depth = XmlElement::maxDepth;
    const std::string deepest = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) {
            text += "<e>";
        }
        for (int i = 0; i < levels; ++i) {
            text += "</e>";
        }
        return text;
    }(depth);
    auto root = parseOk(deepest);
    std::string expected;
    for (int i = 1; i < depth; ++i) {
        expected += "<e>";
    }
    expected += "<e/>" + deepest.substr(depth * 3 + 4);
    EXPECT_EQ(compact(*root), expected);
    EXPECT_EQ(parseError("<e>" + deepest + "</e>"), "elements nested too deeply");
    EXPECT_EQ(parseError(std::string(1000000, '<')), "tag name missing");
    std::string unclosed;
    for (int i = 0; i < 200000; ++i) {
        unclosed += "<e>";
    }
    EXPECT_EQ(parseError(unclosed), "elements nested too deeply");
}

TEST(XmlElementTest, HugeTreesAreFreedWithoutRecursion) {
    auto root = std::make_unique<XmlElement>("root");
    XmlElement* deep = root.get();
    for (int i = 0; i < 200000; ++i) {
        deep = deep->appendChild(std::make_unique<XmlElement>("d"));
        deep->appendChild(XmlElement::textNode("t"));
    }
    for (int i = 0; i < 200000; ++i) {
        root->appendChild(std::make_unique<XmlElement>("s"));
    }
    // A recursive release would overflow the stack here.
    root.reset();
}

TEST(XmlElementTest, ManyAttributesKeepFirstPlaceAndLastValue) {
    std::string text = "<a";
    for (int i = 0; i < 40; ++i) {
        text += " k" + std::to_string(i) + "='" + std::to_string(i) + "'";
    }
    text += " K3='three' k39='last' K0='zero'/>";
    auto root = parseOk(text);
    ASSERT_EQ(root->attributes().size(), 40u);
    EXPECT_EQ(root->attributes()[0].name, "k0");
    EXPECT_EQ(root->attribute("k0"), "zero");
    EXPECT_EQ(root->attribute("k3"), "three");
    EXPECT_EQ(root->attributes()[39].value, "last");
    EXPECT_EQ(root->attribute("k20"), "20");
}

} // namespace
