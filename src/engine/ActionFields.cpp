#include "engine/ActionFields.h"

#include "engine/TTransAction.h"
#include "engine/Variables.h"
#include "foundation/TIniFile.h"
#include "foundation/VException.h"
#include "foundation/XmlElement.h"

namespace Tr {

using Vorn::VString;

namespace {

constexpr int kTagLength = 4;

} // namespace

int readHexDigits(const VString& text, int position, int count) {
    if (position < 0 || count > 7 || position + count > text.length())
        return -1;
    int value = 0;
    for (int i = position; i < position + count; ++i) {
        const int digit = hexDigitValue(text.charAt(i));
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

int readTextField(const VString& text, int position, VString& value) {
    try {
        return TIniFile::readItem(text, position, value);
    } catch (const Vorn::VException&) {
        throw Vorn::VException("Wrong string format");
    }
}

void appendTextField(VString& text, const VString& value) {
    TIniFile::appendItem(text, value);
}

VString elementFormToString(const TTransAction& action, const VString& tag) {
    Vorn::XmlElement element(action.isIncoming() ? "Incoming" : "Outgoing");
    action.writeElement(element);
    const VString xml = element.toString();
    VString result = VString::withCapacity(tag.length() + xml.length() + 16);
    result += tag;
    for (char c : xml.view()) {
        if (c == '\n')
            result += "&#10;";
        else
            result += c;
    }
    return result;
}

int elementFormFromString(TTransAction& action, const VString& text, const VString& kindName,
                          Vorn::ErrorMessageCallback* errors) {
    if (text.length() < kTagLength)
        return 0;
    VString error;
    const std::unique_ptr<Vorn::XmlElement> root =
        Vorn::XmlElement::parse(text.substring(kTagLength), error);
    if (!root || !root->attribute("Action").equals(kindName, true))
        return 0;
    return action.readElement(*root, errors) ? text.length() : 0;
}

void setVarOrNumberAttribute(Vorn::XmlElement& element, const VarOrNumber& value) {
    if (value.isVariable)
        element.setAttribute("var", variableName(value.value));
    else
        element.setAttribute("num", VString::fromInt(value.value));
}

bool getVarOrNumberAttribute(const Vorn::XmlElement& element, VarOrNumber& value) {
    if (element.hasAttribute("var")) {
        const VString name = element.attribute("var");
        const int index = variableIndexAt(name, 0);
        if (index < 0 || name.length() != 2)
            return false;
        value = VarOrNumber::variable(index);
        return true;
    }
    if (!element.hasAttribute("num"))
        return false;
    const VString number = element.attribute("num");
    int32_t parsed = 0;
    if (number.isEmpty() || parseInteger(number, 0, parsed) != number.length())
        return false;
    value = VarOrNumber::number(parsed);
    return true;
}

} // namespace Tr
