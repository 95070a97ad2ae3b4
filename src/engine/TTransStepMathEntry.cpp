#include "engine/TTransStepMathEntry.h"

#include "engine/ActionFields.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "engine/Variables.h"
#include "foundation/VException.h"

#include <string_view>

namespace Tr {

using Vorn::VString;

namespace {

// Operator texts of the kinds kAdd..kShiftRight, in the order they are tried.
constexpr std::string_view kOperatorTexts[] = {"+", "-", "*", "/", "|", "&", "^", "%", "<<", ">>"};
// Condition operator texts by condOp 0-5; "<=" and ">=" are tried before "<" and ">".
constexpr std::string_view kConditionTexts[] = {"<=", "==", "!=", ">=", "<", ">"};
// The statements of the kinds kSkipNext..kExitSkip: as written by the user, and as stored.
constexpr std::string_view kPhrases[] = {"skip next rule", "skip next 2 rules",
                                         "exit rules, execute Outgoing Action",
                                         "exit rules, skip Outgoing Action"};
constexpr std::string_view kStoredWords[] = {"skip", "sk2ip", "execute", "noexecute"};
// The older stored form "if" + condition + code, for kSkipNext, kExitExecute and kExitSkip.
constexpr std::string_view kOldCodes[] = {"sn", "ex", "no"};
constexpr TTransStepMathEntry::Kind kOldCodeKinds[] = {TTransStepMathEntry::kSkipNext,
                                                       TTransStepMathEntry::kExitExecute,
                                                       TTransStepMathEntry::kExitSkip};
// Comments and erroneous lines are stored as labels whose name starts with a marker.
constexpr std::string_view kCommentMarker = "__cmt>";
constexpr std::string_view kErrorMarker = "__err>";

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool isVariableIndex(int32_t index) {
    return index >= 0 && index < kVariableIndexCount;
}

bool isRepresentable(const VarOrNumber& value) {
    return !value.isVariable || isVariableIndex(value.value);
}

// Reads rule text left to right. The line syntax matches words ignoring case and skips blanks
// after every token; the stored form matches exactly and has no blanks.
class RuleReader {
public:
    enum Syntax { kLine, kStored };

    RuleReader(const VString& text, int position, Syntax syntax)
        : text_(&text), view_(text.view()), position_(position), syntax_(syntax) {}

    int position() const { return position_; }
    bool atEnd() const { return position_ >= static_cast<int>(view_.size()); }
    char peek() const { return atEnd() ? 0 : view_[static_cast<size_t>(position_)]; }

    void skipBlanks() {
        if (syntax_ == kLine) {
            while (!atEnd() && isBlank(peek()))
                ++position_;
        }
    }

    bool startsWith(std::string_view word) const {
        const std::string_view rest = view_.substr(static_cast<size_t>(position_));
        if (rest.size() < word.size())
            return false;
        if (syntax_ == kStored)
            return rest.substr(0, word.size()) == word;
        for (size_t i = 0; i < word.size(); ++i) {
            if (upperAscii(rest[i]) != upperAscii(word[i]))
                return false;
        }
        return true;
    }

    bool take(std::string_view word) {
        if (!startsWith(word))
            return false;
        position_ += static_cast<int>(word.size());
        skipBlanks();
        return true;
    }

    // The index of the first of words that stands here (and is taken), or -1.
    template <size_t N> int takeFirstOf(const std::string_view (&words)[N]) {
        for (size_t i = 0; i < N; ++i) {
            if (take(words[i]))
                return static_cast<int>(i);
        }
        return -1;
    }

    bool takeOperand(VarOrNumber& value) {
        const int used = value.parse(*text_, position_);
        if (used <= 0)
            return false;
        position_ += used;
        skipBlanks();
        return true;
    }

    // Line syntax: a double quote, blanks, then everything up to the next double quote that does
    // not follow a backslash (the backslashes stay). Returns the error message or nullptr.
    const char* takeQuoted(VString& value) {
        if (peek() != '"')
            return "double quote expected";
        ++position_;
        skipBlanks();
        const int start = position_;
        for (int i = start; i < static_cast<int>(view_.size()); ++i) {
            if (view_[static_cast<size_t>(i)] == '"' && view_[static_cast<size_t>(i - 1)] != '\\') {
                value = text_->substring(start, i - start);
                position_ = i + 1;
                skipBlanks();
                return nullptr;
            }
        }
        return "unterminated string";
    }

    // Stored form: a length-prefixed text field.
    bool takeField(VString& value) {
        try {
            position_ += readTextField(*text_, position_, value);
            return true;
        } catch (const Vorn::VException&) {
            return false;
        }
    }

private:
    const VString* text_;
    std::string_view view_;
    int position_;
    Syntax syntax_;
};

// VarOrNumber::currentValue with numbers and locals read in place: evaluate() reads up to four
// operands per rule, and most are one of those.
int32_t valueOf(const VarOrNumber& operand, const TTransEvent& event) {
    if (!operand.isVariable)
        return operand.value;
    if (static_cast<uint32_t>(operand.value) < static_cast<uint32_t>(kLocalVariableCount))
        return event.locals[operand.value];
    return operand.currentValue(event.locals, event.globals);
}

bool conditionHolds(int condOp, int32_t left, int32_t right) {
    switch (condOp) {
    case TTransStepMathEntry::kLessOrEqual:
        return left <= right;
    case TTransStepMathEntry::kEqual:
        return left == right;
    case TTransStepMathEntry::kNotEqual:
        return left != right;
    case TTransStepMathEntry::kGreaterOrEqual:
        return left >= right;
    case TTransStepMathEntry::kLess:
        return left < right;
    case TTransStepMathEntry::kGreater:
        return left > right;
    default:
        return false;
    }
}

// 32-bit two's-complement arithmetic. Wrapping operations run on uint32_t and division on
// int64_t, so that no input (not even -2147483648 / -1) is undefined or traps.
int32_t compute(int kind, int32_t left, int32_t right) {
    const auto a = static_cast<uint32_t>(left);
    const auto b = static_cast<uint32_t>(right);
    switch (kind) {
    case TTransStepMathEntry::kAdd:
        return static_cast<int32_t>(a + b);
    case TTransStepMathEntry::kSubtract:
        return static_cast<int32_t>(a - b);
    case TTransStepMathEntry::kMultiply:
        return static_cast<int32_t>(a * b);
    case TTransStepMathEntry::kDivide:
        return right == 0 ? 0 : static_cast<int32_t>(int64_t{left} / right);
    case TTransStepMathEntry::kOr:
        return static_cast<int32_t>(a | b);
    case TTransStepMathEntry::kAnd:
        return static_cast<int32_t>(a & b);
    case TTransStepMathEntry::kXor:
        return static_cast<int32_t>(a ^ b);
    case TTransStepMathEntry::kModulo:
        return right == 0 ? 0 : static_cast<int32_t>(int64_t{left} % right);
    case TTransStepMathEntry::kShiftLeft:
        return static_cast<int32_t>(a << (b & 31u));
    case TTransStepMathEntry::kShiftRight:
        return left >> (b & 31u); // sign-filling
    default:
        return left;
    }
}

VString conditionText(int condOp, const VarOrNumber& left, const VarOrNumber& right) {
    VString text = left.toString();
    if (condOp >= 0 && condOp < TTransStepMathEntry::kNoCondition)
        text.append(kConditionTexts[condOp].data(),
                    static_cast<int>(kConditionTexts[condOp].size()));
    text += right.toString();
    return text;
}

void appendView(VString& text, std::string_view part) {
    text.append(part.data(), static_cast<int>(part.size()));
}

VString withMarker(std::string_view marker, const VString& text) {
    VString result;
    appendView(result, marker);
    result += text;
    return result;
}

} // namespace

TTransStepMathEntry::TTransStepMathEntry() = default;

TTransStepMathEntry::TTransStepMathEntry(const VString& text, int index) : index_(index) {
    parseLine(text);
}

void TTransStepMathEntry::resetFields() {
    errorText_ = VString();
    kind_ = kAssign;
    operands_[0] = VarOrNumber::variable(1);
    operands_[1] = VarOrNumber::number(0);
    operands_[2] = VarOrNumber::number(0);
    text_ = VString();
    condOp_ = kNoCondition;
    condOperands_[0] = VarOrNumber();
    condOperands_[1] = VarOrNumber();
}

bool TTransStepMathEntry::setKind(int kind) {
    if (kind < 0 || kind >= kKindCount)
        return false;
    kind_ = kind;
    return true;
}

void TTransStepMathEntry::setCondition(int condOp, const VarOrNumber& left,
                                       const VarOrNumber& right) {
    condOp_ = condOp;
    condOperands_[0] = left;
    condOperands_[1] = right;
}

bool TTransStepMathEntry::parseLine(const VString& text) {
    resetFields();
    const char* error = parseInto(text);
    if (error == nullptr)
        return true;
    resetFields();
    kind_ = kErroneous;
    text_ = text;
    errorText_ = error;
    return false;
}

const char* TTransStepMathEntry::parseInto(const VString& line) {
    RuleReader in(line, 0, RuleReader::kLine);
    in.skipBlanks();
    if (in.atEnd()) {
        kind_ = kComment;
        return nullptr;
    }
    const int start = in.position();

    // "if" followed by "=" assigns the variable named "if".
    RuleReader afterIf = in;
    if (afterIf.take("if") && afterIf.peek() != '=') {
        in = afterIf;
        int condOp;
        if (!in.takeOperand(condOperands_[0]))
            return "variable or number expected";
        if ((condOp = in.takeFirstOf(kConditionTexts)) < 0)
            return "condition expected";
        if (!in.takeOperand(condOperands_[1]))
            return "variable or number expected";
        if (!in.take("then"))
            return "erroneous 'if' statement.";
        condOp_ = condOp;
    }

    int phrase;
    const bool isGoto = in.take("goto");
    if (isGoto || in.take("label")) {
        kind_ = isGoto ? kGoto : kLabel;
        if (const char* error = in.takeQuoted(text_))
            return error;
    } else if (in.startsWith("//")) {
        // The comment keeps the whole line, condition included, so it is shown as written.
        kind_ = kComment;
        text_ = line.substring(start);
        condOp_ = kNoCondition;
        condOperands_[0] = condOperands_[1] = VarOrNumber();
        return nullptr;
    } else if ((phrase = in.takeFirstOf(kPhrases)) >= 0) {
        kind_ = kSkipNext + phrase;
    } else {
        VarOrNumber target;
        if (!in.takeOperand(target))
            return "syntax error";
        if (!target.isVariable)
            return "variable expected";
        operands_[0] = target;
        if (!in.take("="))
            return "syntax error";
        if (!in.takeOperand(operands_[1]))
            return "variable or number expected";
        const int op = in.takeFirstOf(kOperatorTexts);
        if (op >= 0) {
            if (!in.takeOperand(operands_[2]))
                return "second operand expected";
            kind_ = kAdd + op;
        }
    }
    return in.atEnd() ? nullptr : "unknown text at end of line";
}

VString TTransStepMathEntry::getStatementText() const {
    switch (kind_) {
    case kAssign:
        return operands_[0].toString() + "=" + operands_[1].toString();
    case kAdd:
    case kSubtract:
    case kMultiply:
    case kDivide:
    case kOr:
    case kAnd:
    case kXor:
    case kModulo:
    case kShiftLeft:
    case kShiftRight: {
        VString text = operands_[0].toString() + "=" + operands_[1].toString();
        appendView(text, kOperatorTexts[kind_ - kAdd]);
        text += operands_[2].toString();
        return text;
    }
    case kGoto:
        return "Goto \"" + text_ + "\"";
    case kLabel:
        return "Label \"" + text_ + "\"";
    case kComment:
    case kErroneous:
        return text_;
    case kSkipNext:
    case kSkipNext2:
    case kExitExecute:
    case kExitSkip:
        return VString(kPhrases[kind_ - kSkipNext]);
    default:
        return VString();
    }
}

VString TTransStepMathEntry::getDisplayText() const {
    if (!hasCondition())
        return getStatementText();
    return "if " + conditionText(condOp_, condOperands_[0], condOperands_[1]) + " then " +
           getStatementText();
}

bool TTransStepMathEntry::isStorable() const {
    if (condOp_ < 0 || condOp_ > kNoCondition)
        return false;
    // A label field with a marker would read back as a comment or an erroneous rule.
    if (kind_ == kLabel &&
        (text_.view().starts_with(kCommentMarker) || text_.view().starts_with(kErrorMarker)))
        return false;
    if (hasCondition() && !(isRepresentable(condOperands_[0]) && isRepresentable(condOperands_[1])))
        return false;
    if (kind_ > kShiftRight)
        return true;
    return operands_[0].isVariable && isVariableIndex(operands_[0].value) &&
           isRepresentable(operands_[1]) && (kind_ == kAssign || isRepresentable(operands_[2]));
}

void TTransStepMathEntry::appendStored(VString& text) const {
    if (!isStorable()) {
        // Kept as the line it shows, which reads back as the same rule where the line syntax
        // can say it, and otherwise as an erroneous rule (never executed, like a condition
        // that never holds or a target that is not written).
        text += "label";
        appendTextField(text, withMarker(kErrorMarker, getDisplayText()));
        return;
    }
    if (hasCondition()) {
        text += "if(";
        text += conditionText(condOp_, condOperands_[0], condOperands_[1]);
        text += ')';
    }
    switch (kind_) {
    case kGoto:
        text += "goto";
        appendTextField(text, text_);
        break;
    case kLabel:
        text += "label";
        appendTextField(text, text_);
        break;
    case kComment:
        text += "label";
        appendTextField(text, withMarker(kCommentMarker, text_));
        break;
    case kErroneous:
        text += "label";
        appendTextField(text, withMarker(kErrorMarker, text_));
        break;
    case kSkipNext:
    case kSkipNext2:
    case kExitExecute:
    case kExitSkip:
        appendView(text, kStoredWords[kind_ - kSkipNext]);
        break;
    default: // kAssign..kShiftRight
        text += getStatementText();
        break;
    }
}

int TTransStepMathEntry::readStored(const VString& text, int position) {
    resetFields();
    RuleReader in(text, position, RuleReader::kStored);
    if (in.take("if(")) {
        if (!in.takeOperand(condOperands_[0]) || (condOp_ = in.takeFirstOf(kConditionTexts)) < 0 ||
            !in.takeOperand(condOperands_[1]) || !in.take(")"))
            return 0;
    } else {
        // The older form: "if", a condition without parentheses and a two-letter code. Anything
        // else starting with "if" is an assignment to the variable of that name.
        RuleReader old = in;
        VarOrNumber left;
        VarOrNumber right;
        int condOp;
        int code;
        if (old.take("if") && old.takeOperand(left) &&
            (condOp = old.takeFirstOf(kConditionTexts)) >= 0 && old.takeOperand(right) &&
            (code = old.takeFirstOf(kOldCodes)) >= 0) {
            setCondition(condOp, left, right);
            kind_ = kOldCodeKinds[code];
            return old.position() - position;
        }
    }

    int word;
    if (in.take("goto")) {
        kind_ = kGoto;
        if (!in.takeField(text_))
            return 0;
    } else if (in.take("label")) {
        VString name;
        if (!in.takeField(name))
            return 0;
        const std::string_view view = name.view();
        if (view.starts_with(kCommentMarker)) {
            kind_ = kComment;
            text_ = name.substring(static_cast<int>(kCommentMarker.size()));
        } else if (view.starts_with(kErrorMarker)) {
            // Parsed again: a line the parser has since learnt to read becomes a valid rule.
            parseLine(name.substring(static_cast<int>(kErrorMarker.size())));
        } else {
            kind_ = kLabel;
            text_ = name;
        }
    } else if ((word = in.takeFirstOf(kStoredWords)) >= 0) {
        kind_ = kSkipNext + word;
    } else {
        VarOrNumber target;
        if (!in.takeOperand(target) || !in.take("=") || !in.takeOperand(operands_[1]))
            return 0;
        const int op = in.takeFirstOf(kOperatorTexts);
        if (op >= 0) {
            if (!in.takeOperand(operands_[2]))
                return 0;
            kind_ = kAdd + op;
        }
        if (!target.isVariable) {
            // Only variables can be written: keep the characters, never execute them.
            const VString verbatim = text.substring(position, in.position() - position);
            resetFields();
            kind_ = kErroneous;
            text_ = verbatim;
            errorText_ = "variable expected";
        } else {
            operands_[0] = target;
        }
    }
    return in.position() - position;
}

bool TTransStepMathEntry::evaluate(TTransEvent& event) const {
    const TGlobalTranslateParams* globals = event.globals;
    return evaluate(event,
                    globals != nullptr && globals->isLogging(TGlobalTranslateParams::kLogRules));
}

bool TTransStepMathEntry::evaluate(TTransEvent& event, bool logging) const {
    if (kind_ == kLabel || kind_ == kComment || kind_ == kErroneous)
        return false;
    TGlobalTranslateParams* globals = event.globals;
    logging = logging && globals != nullptr;
    if (condOp_ != kNoCondition) {
        if (!conditionHolds(condOp_, valueOf(condOperands_[0], event),
                            valueOf(condOperands_[1], event)))
            return false;
        if (logging)
            logConditionHeld(event);
    }
    if (kind_ > kShiftRight)
        return true;

    const int32_t left = valueOf(operands_[1], event);
    const int32_t value =
        kind_ == kAssign ? left : compute(kind_, left, valueOf(operands_[2], event));
    // A target that is no variable 0-369 (possible only through edits) writes nothing.
    const VarOrNumber& target = operands_[0];
    if (target.isVariable && isVariableIndex(target.value)) {
        if (target.value < kLocalVariableCount)
            event.locals[target.value] = value;
        else if (globals != nullptr)
            globals->setVariable(target.value, value, event.locals);
    }
    if (logging)
        logAssignment(event);
    return true;
}

void TTransStepMathEntry::logConditionHeld(const TTransEvent& event) const {
    event.globals->logRule("condition satisfied: " + getDisplayText(), index_, event);
}

void TTransStepMathEntry::logAssignment(const TTransEvent& event) const {
    event.globals->logRule(
        VString::format(kind_ == kAssign ? "assignment: (%s) = %d" : "expression: (%s) = %d",
                        getDisplayText().c_str(),
                        operands_[0].currentValue(event.locals, event.globals)),
        index_, event);
}

} // namespace Tr
