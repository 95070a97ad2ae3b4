#pragma once

#include "engine/VarOrNumber.h"
#include "foundation/VString.h"

#include <cstdint>

namespace Tr {

struct TTransEvent;

// One rule of a translator's rules program: an assignment or expression over the variables, a
// jump, a label, a comment, a skip or an exit, optionally under a condition. A line that does
// not parse stays in the program as an erroneous rule holding the line as written, so nothing
// the user typed is ever lost.
//
// Threads: evaluate() only reads the rule and may run on several event threads at once (under
// the preset handler's lock held shared); changes happen under that lock held exclusively.
class TTransStepMathEntry {
public:
    enum Kind : int32_t {
        kAssign = 0, // target = left
        kAdd,
        kSubtract,
        kMultiply,
        kDivide,
        kOr,
        kAnd,
        kXor,
        kModulo,
        kShiftLeft,
        kShiftRight, // the last kind that computes a value
        kGoto,
        kLabel,
        kComment,
        kErroneous,
        kSkipNext,
        kSkipNext2,
        kExitExecute,
        kExitSkip,
    };
    static constexpr int kKindCount = kExitSkip + 1;

    enum Condition : int32_t {
        kLessOrEqual = 0,
        kEqual,
        kNotEqual,
        kGreaterOrEqual,
        kLess,
        kGreater,
        kNoCondition,
    };

    // The rule pp=0 at index -1.
    TTransStepMathEntry();
    // Parses text at once (parseLine); index is the line number from 0.
    TTransStepMathEntry(const Vorn::VString& text, int index);
    virtual ~TTransStepMathEntry() = default;
    TTransStepMathEntry(const TTransStepMathEntry&) = default;
    TTransStepMathEntry& operator=(const TTransStepMathEntry&) = default;

    // Replaces the rule by the one the line describes; false when the line does not parse, and
    // the rule is then erroneous with the message in errorText(). The index is kept.
    bool parseLine(const Vorn::VString& text);

    // "if %s then %s" with the condition, or the statement text alone.
    Vorn::VString getDisplayText() const;
    // The statement without its condition, as the editor shows and parseLine reads it.
    Vorn::VString getStatementText() const;

    // Appends the rule's stored form (without separator) to text.
    void appendStored(Vorn::VString& text) const;
    // Reads one rule's stored form at position; returns the characters consumed, 0 when no rule
    // can be read there. A rule whose target is not a variable is taken as an erroneous rule
    // holding its stored characters. Position must lie inside text.
    int readStored(const Vorn::VString& text, int position);

    // Tests the condition and, when it holds, performs an assignment; writes the trace lines
    // when rule logging is on. Returns whether the condition held (labels, comments and
    // erroneous rules: false). Allocates nothing unless logging.
    bool evaluate(TTransEvent& event) const;
    // The same with the logging switch already looked up (logging needs event.globals).
    bool evaluate(TTransEvent& event, bool logging) const;

    int index() const { return index_; }
    void setIndex(int index) { index_ = index; }
    const Vorn::VString& errorText() const { return errorText_; }
    int kind() const { return kind_; }
    // Kinds outside 0-18 are refused (false, nothing changes).
    bool setKind(int kind);
    // 0 target, 1 left operand, 2 right operand.
    const VarOrNumber& operand(int which) const { return operands_[which]; }
    void setOperand(int which, const VarOrNumber& value) { operands_[which] = value; }
    const Vorn::VString& text() const { return text_; }
    void setText(const Vorn::VString& text) { text_ = text; }
    int condOp() const { return condOp_; }
    bool hasCondition() const { return condOp_ != kNoCondition; }
    // 0 left, 1 right side of the condition.
    const VarOrNumber& condOperand(int which) const { return condOperands_[which]; }
    // An operator outside 0-6 is kept; such a condition never holds.
    void setCondition(int condOp, const VarOrNumber& left, const VarOrNumber& right);

private:
    // The parse error message of the line, nullptr when it parsed.
    const char* parseInto(const Vorn::VString& line);
    // False for what the stored form cannot express: a condition operator outside 0-6, an
    // assignment whose target is no variable 0-369, an operand naming no variable, a label
    // whose name starts like a comment or error marker.
    bool isStorable() const;
    void resetFields();
    // The trace lines of evaluate(), kept out of its path: they run only while logging.
    [[gnu::cold, gnu::noinline]] void logConditionHeld(const TTransEvent& event) const;
    [[gnu::cold, gnu::noinline]] void logAssignment(const TTransEvent& event) const;

    int32_t index_ = -1;
    Vorn::VString errorText_;
    int32_t kind_ = kAssign;
    VarOrNumber operands_[3] = {VarOrNumber::variable(1), VarOrNumber::number(0),
                                VarOrNumber::number(0)};
    Vorn::VString text_;
    int32_t condOp_ = kNoCondition;
    VarOrNumber condOperands_[2] = {};
};

} // namespace Tr
