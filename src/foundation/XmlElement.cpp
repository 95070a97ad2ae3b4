#include "foundation/XmlElement.h"

#include "foundation/Utf.h"
#include "foundation/VStreams.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Vorn {

namespace {

const VString textAttributeName("text");
constexpr char16_t replacementCharacter = 0xFFFD;

bool isHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Characters that both the text and the attribute forms write as they are.
bool isPlain(char16_t unit) {
    static constexpr std::u16string_view punctuation = u" .,;:-()_+=?!'#@[]/\\*%~{}";
    return unit < 0x80 && (isAsciiLetterOrDigit(static_cast<char>(unit)) ||
                           punctuation.find(unit) != std::u16string_view::npos);
}

void writeSpaces(VMemOutputStream& out, int count) {
    for (int i = 0; i < count; ++i) {
        out.writeByte(' ');
    }
}

void writeString(VMemOutputStream& out, const VString& text) {
    out.write(text.c_str(), text.length());
}

void appendReference(std::string& buffer, uint32_t unit) {
    buffer += "&#";
    buffer += std::to_string(unit);
    buffer += ';';
}

void writeEscaped(VMemOutputStream& out, const VString& text, bool inAttribute) {
    const std::u16string units = utf8ToUtf16(text.view());
    std::string buffer;
    buffer.reserve(units.size() + 16);
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (isPlain(unit)) {
            buffer += static_cast<char>(unit);
            continue;
        }
        switch (unit) {
        case '"':
            buffer += "&quot;";
            break;
        case '&':
            buffer += "&amp;";
            break;
        case '<':
            buffer += "&lt;";
            break;
        case '>':
            buffer += "&gt;";
            break;
        case '\n':
        case '\r':
            if (inAttribute) {
                appendReference(buffer, unit);
            } else {
                buffer += static_cast<char>(unit);
            }
            break;
        default:
            if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
                appendReference(buffer, unit);
                appendReference(buffer, units[++i]);
            } else if (unit == 0 || isHighSurrogate(unit) || isLowSurrogate(unit)) {
                // Text that was not valid UTF-8; a reference to it could not be read back.
                appendReference(buffer, replacementCharacter);
            } else {
                appendReference(buffer, unit);
            }
            break;
        }
    }
    out.write(buffer.data(), static_cast<int>(buffer.size()));
}

int digitValue(char c, int base) {
    int value = 99;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// The length of the well-formed UTF-8 sequence at the start of text, 0 when there is none.
size_t validSequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint32_t codePoint = 0;
    uint32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool wellFormed = codePoint >= smallest && codePoint <= 0x10FFFF &&
                            !isHighSurrogate(codePoint) && !isLowSurrogate(codePoint);
    return wellFormed ? length : 0;
}

bool isSign(std::string_view text, size_t index) {
    return index < text.size() && (text[index] == '+' || text[index] == '-');
}

bool parseInteger(std::string_view text, int& result) {
    size_t i = 0;
    bool negative = false;
    const bool signBefore = isSign(text, i);
    if (signBefore) {
        negative = text[i++] == '-';
    }
    int base = 10;
    if (text.substr(i, 2) == "0x") {
        base = 16;
        i += 2;
        if (!signBefore && isSign(text, i)) {
            negative = text[i++] == '-';
        }
    }
    if (i == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i], base);
        if (digit < 0) {
            return false;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > int64_t(INT_MAX) + 1) {
            return false;
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) {
        return false;
    }
    result = static_cast<int>(value);
    return true;
}

} // namespace

XmlElement::XmlElement(const VString& name) : name_(name) {}

XmlElement::~XmlElement() {
    releaseChain(std::move(firstChild_));
    releaseChain(std::move(nextSibling_));
}

void XmlElement::releaseChain(std::unique_ptr<XmlElement> chain) {
    // Rotates first children into the sibling chain so that each node is deleted with neither
    // children nor siblings left, in constant stack space.
    while (chain) {
        if (chain->firstChild_) {
            std::unique_ptr<XmlElement> first = std::move(chain->firstChild_);
            chain->firstChild_ = std::move(first->nextSibling_);
            first->nextSibling_ = std::move(chain);
            chain = std::move(first);
        } else {
            chain = std::move(chain->nextSibling_);
        }
    }
}

std::unique_ptr<XmlElement> XmlElement::textNode(const VString& text) {
    auto node = std::make_unique<XmlElement>(VString());
    node->setAttribute(textAttributeName, text);
    return node;
}

XmlElement* XmlElement::child(const VString& name) const {
    for (XmlElement* node = firstChild_.get(); node; node = node->nextSibling_.get()) {
        if (node->name_.equals(name, true)) {
            return node;
        }
    }
    return nullptr;
}

XmlElement* XmlElement::nextSibling(const VString& name) const {
    for (XmlElement* node = nextSibling_.get(); node; node = node->nextSibling_.get()) {
        if (node->name_.equals(name, true)) {
            return node;
        }
    }
    return nullptr;
}

XmlElement* XmlElement::appendChild(std::unique_ptr<XmlElement> element) {
    XmlElement* appended = element.get();
    if (!appended) {
        return nullptr;
    }
    if (lastChild_) {
        lastChild_->nextSibling_ = std::move(element);
    } else {
        firstChild_ = std::move(element);
    }
    lastChild_ = appended;
    return appended;
}

const XmlAttribute* XmlElement::findAttribute(const VString& name) const {
    for (const XmlAttribute& attribute : attributes_) {
        if (attribute.name.equals(name, true)) {
            return &attribute;
        }
    }
    return nullptr;
}

void XmlElement::setAttribute(const VString& name, const VString& value) {
    if (const XmlAttribute* existing = findAttribute(name)) {
        attributes_[existing - attributes_.data()].value = value;
    } else {
        attributes_.push_back({name, value});
    }
}

VString XmlElement::attribute(const VString& name, const VString& defaultValue) const {
    const XmlAttribute* found = findAttribute(name);
    return found ? found->value : defaultValue;
}

bool XmlElement::hasAttribute(const VString& name) const {
    return findAttribute(name) != nullptr;
}

int XmlElement::intAttribute(const VString& name, int defaultValue) const {
    const XmlAttribute* found = findAttribute(name);
    int value = 0;
    return found && parseInteger(found->value.view(), value) ? value : defaultValue;
}

bool XmlElement::boolAttribute(const VString& name) const {
    const XmlAttribute* found = findAttribute(name);
    if (!found) {
        return false;
    }
    for (char c : found->value.view()) {
        if (static_cast<unsigned char>(c) > ' ') {
            return c == '1' || c == 'T' || c == 't' || c == 'Y' || c == 'y';
        }
    }
    return false;
}

void XmlElement::setBoolAttribute(const VString& name, bool flag) {
    setAttribute(name, flag ? "Y" : "N");
}

void XmlElement::setIntAttribute(const VString& name, int value) {
    setAttribute(name, VString::fromInt(value));
}

void XmlElement::setDoubleAttribute(const VString& name, double value) {
    setAttribute(name, VString::format("%.9g", value));
}

VString XmlElement::text() const {
    if (isTextNode()) {
        return attribute(textAttributeName);
    }
    VString joined;
    for (const XmlElement* node = firstChild_.get(); node; node = node->nextSibling_.get()) {
        if (node->isTextNode()) {
            joined += node->attribute(textAttributeName);
        }
    }
    return joined;
}

void XmlElement::setText(const VString& text) {
    if (isTextNode()) {
        setAttribute(textAttributeName, text);
        return;
    }
    releaseChain(std::move(firstChild_));
    lastChild_ = nullptr;
    if (!text.isEmpty()) {
        appendChild(textNode(text));
    }
}

XmlElement* XmlElement::addTextChild(const VString& name, const VString& value, bool always) {
    if (value.isEmpty() && !always) {
        return nullptr;
    }
    XmlElement* added = appendChild(std::make_unique<XmlElement>(name));
    added->appendChild(textNode(value));
    return added;
}

void XmlElement::setNumberChild(const VString& name, int value) {
    appendChild(std::make_unique<XmlElement>(name))->setIntAttribute("num", value);
}

int XmlElement::numberChild(const VString& name, int defaultValue) const {
    const XmlElement* found = child(name);
    return found ? found->intAttribute("num", defaultValue) : defaultValue;
}

VString XmlElement::childText(const VString& name) const {
    const XmlElement* found = child(name);
    return found ? found->text() : VString();
}

VString XmlElement::toString() const {
    VMemOutputStream out;
    write(out, -1);
    return out.toString();
}

void XmlElement::write(VMemOutputStream& out, int indent) const {
    const bool indented = indent >= 0;
    const char* lineEnd = indented ? "\r\n" : "";
    writeSpaces(out, indent);
    if (isTextNode()) {
        writeEscaped(out, text(), false);
        return;
    }
    out.writeByte('<');
    writeString(out, name_);
    int lineLength = 0;
    for (const XmlAttribute& attribute : attributes_) {
        if (indented && lineLength > 60) {
            out.writeText("\r\n");
            writeSpaces(out, name_.length() + indent + 1);
            lineLength = 0;
        }
        out.writeByte(' ');
        writeString(out, attribute.name);
        out.writeText("=\"");
        writeEscaped(out, attribute.value, true);
        out.writeByte('"');
        lineLength += attribute.name.length() + attribute.value.length() + 4;
    }
    if (!firstChild_) {
        out.writeText("/>");
        out.writeText(lineEnd);
        return;
    }
    out.writeByte('>');
    if (firstChild_->isTextNode() && !firstChild_->nextSibling_) {
        writeEscaped(out, firstChild_->text(), false);
    } else {
        out.writeText(lineEnd);
        const XmlElement* previous = nullptr;
        for (const XmlElement* node = firstChild_.get(); node; node = node->nextSibling_.get()) {
            if (node->isTextNode()) {
                if (previous && !previous->isTextNode()) {
                    writeSpaces(out, indent + 1);
                }
                writeEscaped(out, node->text(), false);
            } else {
                if (indented && previous && previous->isTextNode()) {
                    out.writeText("\r\n");
                }
                node->write(out, indented ? indent + 1 : -1);
            }
            previous = node;
        }
        if (indented) {
            if (previous->isTextNode()) {
                out.writeText("\r\n");
            }
            writeSpaces(out, indent);
        }
    }
    out.writeText("</");
    writeString(out, name_);
    out.writeByte('>');
    out.writeText(lineEnd);
}

// The reader: a loop over the open elements rather than recursion, so that nesting costs heap,
// not stack. Errors are thrown as their message and caught by parse().
class XmlReader {
public:
    explicit XmlReader(std::string_view text) : text_(text) {}

    std::unique_ptr<XmlElement> readDocument();

private:
    struct ReadError {
        VString message;
    };

    // An element whose end tag is still to come, with the text read since its last child.
    struct OpenElement {
        XmlElement* element;
        std::string text = {};
        bool hasElementChild = false;
    };

    [[noreturn]] static void fail(const VString& message) { throw ReadError{message}; }
    [[noreturn]] static void failIllegal(std::string_view tag, char c);
    static bool isNameChar(char c);
    static bool isBlank(std::string_view text);
    static uint32_t numericReference(std::string_view digits);

    bool atEnd() const { return position_ >= text_.size(); }
    bool lookingAt(std::string_view prefix) const {
        return text_.substr(position_, prefix.size()) == prefix;
    }
    void requireInput() const {
        if (atEnd()) {
            fail("not enough input");
        }
    }
    char current() const {
        requireInput();
        return text_[position_];
    }
    void skipSpace();
    void skipPast(std::string_view terminator, const char* message);
    void skipDoctype();
    std::string_view readName();
    std::unique_ptr<XmlElement> readStartTag(bool& empty);
    void addAttribute(XmlElement& element, std::unordered_map<std::string, size_t>& index,
                      std::string_view name, std::string value);
    std::string decode(std::string_view raw) const;
    static void appendRepaired(std::string& out, std::string_view raw);
    void flushText(OpenElement& open, bool closing);

    std::string_view text_;
    size_t position_ = 0;

    friend class XmlElement;
};

std::unique_ptr<XmlElement> XmlElement::parse(const VString& text, VString& error) {
    error = VString();
    try {
        return XmlReader(text.view()).readDocument();
    } catch (const XmlReader::ReadError& readError) {
        error = readError.message;
        return nullptr;
    }
}

void XmlReader::failIllegal(std::string_view tag, char c) {
    VString message("illegal character found in ");
    message.append(tag.data(), static_cast<int>(tag.size()));
    message += ": '";
    message += c;
    message += "'";
    fail(message);
}

bool XmlReader::isNameChar(char c) {
    return isAsciiLetterOrDigit(c) || c == '_' || c == '-' || c == '.' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool XmlReader::isBlank(std::string_view text) {
    for (char c : text) {
        if (!isSpace(c)) {
            return false;
        }
    }
    return true;
}

void XmlReader::skipSpace() {
    while (!atEnd() && isSpace(text_[position_])) {
        ++position_;
    }
}

void XmlReader::skipPast(std::string_view terminator, const char* message) {
    const size_t end = text_.find(terminator, position_);
    if (end == std::string_view::npos) {
        fail(message);
    }
    position_ = end + terminator.size();
}

void XmlReader::skipDoctype() {
    // Quotes and an internal subset in brackets may hold '>' that does not end the declaration.
    char quote = 0;
    bool inSubset = false;
    while (!atEnd()) {
        const char c = text_[position_++];
        if (quote) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            inSubset = true;
        } else if (c == ']') {
            inSubset = false;
        } else if (c == '>' && !inSubset) {
            return;
        }
    }
    fail("not enough input");
}

std::string_view XmlReader::readName() {
    const size_t start = position_;
    while (!atEnd() && isNameChar(text_[position_])) {
        ++position_;
    }
    return text_.substr(start, position_ - start);
}

std::unique_ptr<XmlElement> XmlReader::readDocument() {
    skipSpace();
    if (lookingAt("<?xml")) {
        skipPast("?>", "incorrect xml header");
    }
    for (;;) {
        skipSpace();
        if (lookingAt("<!--")) {
            skipPast("-->", "not enough input");
        } else if (lookingAt("<!DOCTYPE")) {
            skipDoctype();
        } else if (current() == '<') {
            break;
        } else {
            fail("tag name missing");
        }
    }

    bool empty = false;
    std::unique_ptr<XmlElement> root = readStartTag(empty);
    std::vector<OpenElement> open;
    if (!empty) {
        open.push_back({root.get()});
    }
    while (!open.empty()) {
        OpenElement& top = open.back();
        if (lookingAt("<!--")) {
            skipPast("-->", "not enough input");
        } else if (lookingAt("<![CDATA[")) {
            const size_t start = position_ + 9;
            const size_t end = text_.find("]]>", start);
            if (end == std::string_view::npos) {
                fail("unterminated CDATA section");
            }
            appendRepaired(top.text, text_.substr(start, end - start));
            position_ = end + 3;
        } else if (lookingAt("</")) {
            position_ += 2;
            const std::string_view name = readName();
            if (name.empty()) {
                requireInput();
                fail("tag name missing");
            }
            skipSpace();
            if (current() != '>') {
                failIllegal(name, current());
            }
            ++position_;
            if (!top.element->name().equals(VString(name), true)) {
                fail("unmatched tags");
            }
            flushText(top, true);
            open.pop_back();
        } else if (current() == '<') {
            if (open.size() >= XmlElement::maxDepth) {
                fail("elements nested too deeply");
            }
            flushText(top, false);
            top.hasElementChild = true;
            XmlElement* child = top.element->appendChild(readStartTag(empty));
            if (!empty) {
                open.push_back({child}); // top is not used past this point
            }
        } else {
            size_t end = text_.find('<', position_);
            if (end == std::string_view::npos) {
                end = text_.size();
            }
            top.text += decode(text_.substr(position_, end - position_));
            position_ = end;
        }
    }
    return root;
}

std::unique_ptr<XmlElement> XmlReader::readStartTag(bool& empty) {
    ++position_; // '<'
    requireInput();
    const std::string_view name = readName();
    if (name.empty()) {
        fail("tag name missing");
    }
    auto element = std::make_unique<XmlElement>(VString(name));
    // Built only for elements with many attributes, where a scan per attribute would cost
    // quadratic time.
    std::unordered_map<std::string, size_t> index;
    for (;;) {
        skipSpace();
        const char c = current();
        if (c == '>') {
            ++position_;
            empty = false;
            return element;
        }
        if (c == '/') {
            ++position_;
            if (current() != '>') {
                failIllegal(name, current());
            }
            ++position_;
            empty = true;
            return element;
        }
        const std::string_view attributeName = readName();
        if (attributeName.empty()) {
            failIllegal(name, c);
        }
        skipSpace();
        if (current() != '=') {
            failIllegal(name, current());
        }
        ++position_;
        skipSpace();
        const char quote = current();
        if (quote != '"' && quote != '\'') {
            failIllegal(name, quote);
        }
        const size_t end = text_.find(quote, position_ + 1);
        if (end == std::string_view::npos) {
            fail("unmatched quotes");
        }
        std::string value = decode(text_.substr(position_ + 1, end - position_ - 1));
        position_ = end + 1;
        addAttribute(*element, index, attributeName, std::move(value));
    }
}

void XmlReader::addAttribute(XmlElement& element, std::unordered_map<std::string, size_t>& index,
                             std::string_view name, std::string value) {
    // A repeated name (ignoring case) keeps its first place and takes the last value.
    constexpr size_t scanLimit = 16;
    std::vector<XmlAttribute>& attributes = element.attributes_;
    const VString attributeName(name);
    if (attributes.size() < scanLimit) {
        element.setAttribute(attributeName, VString(value));
        return;
    }
    if (index.empty()) {
        for (size_t i = 0; i < attributes.size(); ++i) {
            VString key = attributes[i].name;
            key.toUpper();
            index.emplace(key.c_str(), i);
        }
    }
    VString key = attributeName;
    key.toUpper();
    const auto [found, added] = index.emplace(key.c_str(), attributes.size());
    if (added) {
        attributes.push_back({attributeName, VString(value)});
    } else {
        attributes[found->second].value = VString(value);
    }
}

void XmlReader::appendRepaired(std::string& out, std::string_view raw) {
    // Malformed UTF-8 becomes U+FFFD byte by byte: the writer's conversion would otherwise drop
    // or merge such bytes, and what it wrote would no longer read as the same tree.
    for (size_t i = 0; i < raw.size();) {
        const size_t length = validSequenceLength(raw.substr(i));
        if (length) {
            out.append(raw.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
}

uint32_t XmlReader::numericReference(std::string_view digits) {
    // digits: what follows "&#"; 0 when it is not a number of a Unicode scalar value.
    int base = 10;
    if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return 0;
    }
    uint32_t value = 0;
    for (char c : digits) {
        const int digit = digitValue(c, base);
        if (digit < 0) {
            return 0;
        }
        value = value * base + digit;
        if (value > 0x10FFFF) {
            return 0;
        }
    }
    return value;
}

std::string XmlReader::decode(std::string_view raw) const {
    std::string decoded;
    decoded.reserve(raw.size());
    size_t i = 0;
    // The reference that starts at i, without '&' and ';'; i moves past it.
    auto nextReference = [&raw, &i]() {
        const size_t end = raw.find(';', i + 1);
        if (end == std::string_view::npos) {
            fail("illegal escape sequence");
        }
        const std::string_view reference = raw.substr(i + 1, end - i - 1);
        i = end + 1;
        return reference;
    };
    while (i < raw.size()) {
        if (raw[i] != '&') {
            const size_t end = std::min(raw.find('&', i), raw.size());
            appendRepaired(decoded, raw.substr(i, end - i));
            i = end;
            continue;
        }
        const std::string_view reference = nextReference();
        if (reference.starts_with('#')) {
            char32_t codePoint = numericReference(reference.substr(1));
            if (isHighSurrogate(codePoint)) {
                // The writer's form of a character beyond the basic plane: two references.
                const bool pairFollows = raw.substr(i, 2) == "&#";
                const uint32_t low = pairFollows ? numericReference(nextReference().substr(1)) : 0;
                if (!isLowSurrogate(low)) {
                    fail("illegal escape sequence");
                }
                codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
            }
            if (codePoint == 0 || isLowSurrogate(codePoint)) {
                fail("illegal escape sequence");
            }
            decoded += utf32ToUtf8(std::u32string_view(&codePoint, 1));
            continue;
        }
        static constexpr struct {
            std::string_view name;
            char replacement;
        } named[] = {{"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"lt", '<'}, {"gt", '>'}};
        const VString name(reference);
        bool known = false;
        for (const auto& entity : named) {
            if (name.equals(VString(entity.name), true)) {
                decoded += entity.replacement;
                known = true;
                break;
            }
        }
        if (!known) {
            const bool wellFormed =
                !reference.empty() &&
                reference.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789_-.:") == std::string_view::npos;
            fail(wellFormed ? "DTD entities not supported" : "illegal escape sequence");
        }
    }
    return decoded;
}

void XmlReader::flushText(OpenElement& open, bool closing) {
    // Blank text between elements is layout; blank text that is all an element holds is data.
    if (open.text.empty()) {
        return;
    }
    if (!isBlank(open.text) || (closing && !open.hasElementChild)) {
        open.element->appendChild(XmlElement::textNode(VString(open.text)));
    }
    open.text.clear();
}

} // namespace Vorn
