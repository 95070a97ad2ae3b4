#pragma once

#include "engine/TTransStepMathEntry.h"
#include "foundation/VOwnedList.h"
#include "foundation/VString.h"

#include <memory>
#include <vector>

namespace Vorn {
class VStringList;
}

namespace Tr {

struct TTransEvent;

// The rules of one translator: a program of rules run after the incoming action matched and
// before the outgoing action. Kept in memory as parsed rules; stored as the "StMa" field of the
// translator's options.
//
// Threads: execute() runs on event threads, several at once, under the preset handler's lock held
// shared; every change runs under that lock held exclusively. Jump destinations are resolved by
// every change, so execution never searches the program.
class TTransStepMath {
public:
    // At most this many jumps per execution; the next one ends the rules.
    static constexpr int kMaxJumps = 100000;

    TTransStepMath() = default;
    virtual ~TTransStepMath() = default;
    // Copies are made with assign(); a move takes the rules along.
    TTransStepMath(const TTransStepMath&) = delete;
    TTransStepMath& operator=(const TTransStepMath&) = delete;
    TTransStepMath(TTransStepMath&&) noexcept = default;
    TTransStepMath& operator=(TTransStepMath&&) noexcept = default;

    int count() const { return entries_.count(); }
    bool hasRules() const { return count() > 0; }
    // 0 <= index < count().
    const TTransStepMathEntry& entry(int index) const { return *entries_.get(index); }
    const Vorn::VString& description() const { return description_; }
    void setDescription(const Vorn::VString& description) { description_ = description; }

    // Appends a rule.
    void addEntry(std::unique_ptr<TTransStepMathEntry> entry);
    // Changes the rule at 0 <= index < count() in place: change(entry) is called with it.
    template <class Change> void updateEntry(int index, Change&& change) {
        change(*entries_.get(index));
        resolveJumps();
    }

    // Replaces the program by the lines of text (split at LF, CR and CR LF), one rule per line
    // with its line number as index, bad lines kept as erroneous rules. For each of those adds
    // "Line %d: parse error: %s" (line counted from 1) to errors. True when no line failed.
    bool parseCode(const Vorn::VString& text, Vorn::VStringList& errors);

    // The stored form: "StMa", the description as a text field, the rule count as four
    // upper-case hexadecimal digits, then the rules without separators.
    Vorn::VString toStored() const;
    // Reads the stored form starting at its tag at position and returns the characters it
    // consumed, so that whatever follows is left to the caller. Throws Vorn::VException
    // "corrupt rule" for a bad tag, a field too short, or fewer readable rules than counted;
    // the program is then unchanged.
    int fromStored(const Vorn::VString& text, int position);

    // The description; else the display text of the only rule; else "%d rules".
    Vorn::VString getShortDescription() const;
    // The rules for the text export, appended to lines: a single rule as "Rules: '%s'";
    // several as a line "Rules:" and then each display text indented by two blanks. With
    // oneLine, "Rules: " followed by the short description instead.
    void appendListing(Vorn::VStringList& lines, bool oneLine) const;

    // The description and a deep copy of every rule.
    void assign(const TTransStepMath& other);

    // Runs the program for the event: assignments write its locals and the globals it points
    // to. Returns 1 when the rules ended with "exit rules, skip Outgoing Action", else 0.
    // Allocates nothing unless rule logging is on.
    int execute(TTransEvent& event) const;

private:
    // Where a goto continues: the last label of its name (ignoring case) and how many labels
    // carry that name, as each one counts as a jump.
    struct JumpTarget {
        int label = -1;
        int labelCount = 0;
    };

    void resolveJumps();
    // The position after the next rule that is not a comment, from position on.
    int skipRule(int position) const;

    Vorn::VOwnedList<TTransStepMathEntry> entries_;
    std::vector<JumpTarget> jumpTargets_; // by rule position; used by gotos only
    Vorn::VString description_;
};

} // namespace Tr
