#pragma once

#include "engine/VarOrNumber.h"
#include "foundation/VString.h"

namespace Vorn {
class ErrorMessageCallback;
class XmlElement;
} // namespace Vorn

namespace Tr {

class TTransAction;

// Building blocks of the stored action forms. All are pure text conversions.

// count hexadecimal digits (either case) at position as a number; -1 when the text is too short
// or one of them is no hexadecimal digit.
int readHexDigits(const Vorn::VString& text, int position, int count);

// A text field: four hexadecimal digits giving the length n, then n characters. Reads the
// field at position into value and returns n + 4; blanks before the digits are skipped and a
// non-hexadecimal digit makes the length 0. Throws Vorn::VException "Wrong string format" when
// the text is too short for the digits or the length.
int readTextField(const Vorn::VString& text, int position, Vorn::VString& value);
// Appends the field: four upper-case hexadecimal digits and the value, cut at 0xFFFF bytes.
void appendTextField(Vorn::VString& text, const Vorn::VString& value);

// The XML element form: the tag, then the single-line XML of an element named "Incoming" or
// "Outgoing" after the action's role, filled by writeElement (which also sets the attribute
// "Action" to the class's kind name); every newline becomes "&#10;".
Vorn::VString elementFormToString(const TTransAction& action, const Vorn::VString& tag);
// Parses the XML after the tag; when the root's "Action" equals kindName (ignoring case), hands
// the root to readElement with errors. Returns the whole length on success, else 0.
int elementFormFromString(TTransAction& action, const Vorn::VString& text,
                          const Vorn::VString& kindName, Vorn::ErrorMessageCallback* errors);

// A number-or-variable in an element: attribute "num" (decimal) or "var" (two-letter name).
void setVarOrNumberAttribute(Vorn::XmlElement& element, const VarOrNumber& value);
// Reads "var" or else "num" ("num" also in "0x" hexadecimal); false when neither holds a
// valid value, and value is then unchanged.
bool getVarOrNumberAttribute(const Vorn::XmlElement& element, VarOrNumber& value);

} // namespace Tr
