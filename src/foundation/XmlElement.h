#pragma once

#include "foundation/VString.h"

#include <memory>
#include <vector>

namespace Vorn {

class VMemOutputStream;

struct XmlAttribute {
    VString name;
    VString value;
};

// One node of an XML tree: an element, or a text node (empty name, its text held in the
// attribute "text"). An element owns its children, which form a chain in document order, and its
// attributes, kept in insertion order. Every name comparison ignores ASCII case.
// A tree is not thread-safe; its owner locks around it.
class XmlElement {
public:
    explicit XmlElement(const VString& name);
    ~XmlElement();
    XmlElement(const XmlElement&) = delete;
    XmlElement& operator=(const XmlElement&) = delete;

    static std::unique_ptr<XmlElement> textNode(const VString& text);

    const VString& name() const { return name_; }
    bool isTextNode() const { return name_.isEmpty(); }

    // Children, text nodes included, in document order.
    XmlElement* firstChild() const { return firstChild_.get(); }
    XmlElement* nextSibling() const { return nextSibling_.get(); }
    // The first child, or the next sibling, with that name; null when there is none.
    XmlElement* child(const VString& name) const;
    XmlElement* nextSibling(const VString& name) const;
    // Appends at the end of the children and returns the appended element.
    XmlElement* appendChild(std::unique_ptr<XmlElement> element);

    const std::vector<XmlAttribute>& attributes() const { return attributes_; }
    // Replaces the value of an attribute with that name, or appends a new attribute.
    void setAttribute(const VString& name, const VString& value);
    VString attribute(const VString& name, const VString& defaultValue = VString()) const;
    bool hasAttribute(const VString& name) const;
    // An optional sign, then decimal digits or "0x" and hexadecimal digits (a sign may stand right
    // after "0x" when none stood before it). defaultValue unless the whole value is such a number
    // within the range of int.
    int intAttribute(const VString& name, int defaultValue) const;
    // True when the first character above space is '1', 'T', 't', 'Y' or 'y'.
    bool boolAttribute(const VString& name) const;
    void setBoolAttribute(const VString& name, bool flag); // "Y" or "N"
    void setIntAttribute(const VString& name, int value);
    void setDoubleAttribute(const VString& name, double value); // "%.9g"

    // A text node's own text; for an element, the texts of its text-node children joined.
    VString text() const;
    // On a text node, replaces its text; on an element, replaces all its children by one text
    // node (none when text is empty).
    void setText(const VString& text);
    // Appends <name>value</name>; nothing when value is empty unless always is set. Returns the
    // new child or null.
    XmlElement* addTextChild(const VString& name, const VString& value, bool always = false);
    // Appends <name num="value"/>; numberChild reads it back, defaultValue when the child or a
    // wholly numeric "num" is missing.
    void setNumberChild(const VString& name, int value);
    int numberChild(const VString& name, int defaultValue) const;
    // The text of the first child with that name; empty when there is none.
    VString childText(const VString& name) const;

    // The compact single-line form.
    VString toString() const;
    // indent -1: compact form; 0 or more: one space per level, CR LF line ends, and attributes
    // continued on aligned lines once a line holds more than 60 characters of them.
    void write(VMemOutputStream& out, int indent) const;

    // Builds a tree from UTF-8 text. On failure returns null and sets error to a fixed message
    // ("not enough input", "unmatched tags", ...). White space that separates elements is
    // dropped; white space that is an element's whole content is kept as its text. Comments are
    // dropped, adjacent text and CDATA sections join into one text node, and anything after the
    // root element is ignored.
    static std::unique_ptr<XmlElement> parse(const VString& text, VString& error);

    // Deeper documents are refused, so that neither reading nor writing them can exhaust the stack.
    static constexpr int maxDepth = 1000;

private:
    friend class XmlReader;

    // Frees a chain and everything below it without recursion, however deep or long.
    static void releaseChain(std::unique_ptr<XmlElement> chain);
    const XmlAttribute* findAttribute(const VString& name) const;

    VString name_;
    std::vector<XmlAttribute> attributes_;
    std::unique_ptr<XmlElement> firstChild_;
    XmlElement* lastChild_ = nullptr;
    std::unique_ptr<XmlElement> nextSibling_;
};

} // namespace Vorn
