#include "engine/TTransStepMath.h"

#include "engine/ActionFields.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TTransEvent.h"
#include "foundation/VException.h"
#include "foundation/VStringList.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace Tr {

using Vorn::VString;
using Entry = TTransStepMathEntry;

namespace {

constexpr int kTagLength = 4;
constexpr int kMinimumStoredLength = 8;
constexpr int kCountDigits = 4;

// Label names compare ignoring ASCII case, as VString::equals does.
std::string labelKey(const VString& name) {
    std::string key(name.view());
    for (char& c : key) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

bool endsWithZero(const Entry& rule) {
    if (rule.kind() > Entry::kShiftRight)
        return false;
    const VarOrNumber& last = rule.operand(rule.kind() == Entry::kAssign ? 1 : 2);
    return !last.isVariable && last.value == 0;
}

[[noreturn]] void corrupt() {
    throw Vorn::VException("corrupt rule");
}

} // namespace

void TTransStepMath::addEntry(std::unique_ptr<TTransStepMathEntry> entry) {
    entries_.add(entry.get());
    entry.release();
    resolveJumps();
}

void TTransStepMath::resolveJumps() {
    const int n = count();
    jumpTargets_.assign(static_cast<size_t>(n), JumpTarget{});
    std::unordered_map<std::string, JumpTarget> labels;
    for (int i = 0; i < n; ++i) {
        if (entry(i).kind() == Entry::kLabel) {
            JumpTarget& target = labels[labelKey(entry(i).text())];
            target.label = i;
            ++target.labelCount;
        }
    }
    if (labels.empty())
        return;
    for (int i = 0; i < n; ++i) {
        if (entry(i).kind() != Entry::kGoto)
            continue;
        const auto found = labels.find(labelKey(entry(i).text()));
        if (found != labels.end())
            jumpTargets_[static_cast<size_t>(i)] = found->second;
    }
}

bool TTransStepMath::parseCode(const VString& text, Vorn::VStringList& errors) {
    Vorn::VStringList lines;
    lines.setText(text);
    entries_.clear();
    bool valid = true;
    for (int i = 0; i < lines.count(); ++i) {
        auto rule = std::make_unique<Entry>(lines.get(i), i);
        if (rule->kind() == Entry::kErroneous) {
            errors.add(
                VString::format("Line %d: parse error: %s", i + 1, rule->errorText().c_str()));
            valid = false;
        }
        entries_.add(rule.get());
        rule.release();
    }
    resolveJumps();
    return valid;
}

VString TTransStepMath::toStored() const {
    VString text("StMa");
    appendTextField(text, description_);
    text += VString::format("%04X", count());
    for (const Entry* rule : entries_)
        rule->appendStored(text);
    return text;
}

int TTransStepMath::fromStored(const VString& text, int position) {
    const int length = text.length();
    if (position < 0 || length - position < kMinimumStoredLength ||
        !text.substring(position, kTagLength).equals("StMa", true))
        corrupt();
    VString description;
    int index = position + kTagLength;
    try {
        index += readTextField(text, index, description);
    } catch (const Vorn::VException&) {
        corrupt();
    }
    if (length - index < kCountDigits)
        corrupt();
    const int ruleCount = std::max(readHexDigits(text, index, kCountDigits), 0);
    index += kCountDigits;

    Vorn::VOwnedList<Entry> read;
    for (int i = 0; i < ruleCount && index < length; ++i) {
        auto rule = std::make_unique<Entry>();
        const int used = rule->readStored(text, index);
        if (used <= 0)
            break;
        rule->setIndex(i);
        read.add(rule.get());
        rule.release();
        index += used;
    }
    if (read.count() < ruleCount)
        corrupt();
    // The field has no end mark. A last rule ending in the number 0, written back before an
    // "x" that follows the field, would read as a hexadecimal number: such a field is left whole.
    if (ruleCount > 0 && index < length &&
        (text.charAt(index) == 'x' || text.charAt(index) == 'X') &&
        endsWithZero(*read.get(ruleCount - 1)))
        corrupt();
    entries_ = std::move(read);
    description_ = description;
    resolveJumps();
    return index - position;
}

VString TTransStepMath::getShortDescription() const {
    if (!description_.isEmpty())
        return description_;
    if (count() == 1)
        return entry(0).getDisplayText();
    return VString::format("%d rules", count());
}

void TTransStepMath::appendListing(Vorn::VStringList& lines, bool oneLine) const {
    if (oneLine) {
        lines.add("Rules: " + getShortDescription());
    } else if (count() == 1) {
        lines.add("Rules: '" + entry(0).getDisplayText() + "'");
    } else {
        lines.add("Rules:");
        for (const Entry* rule : entries_)
            lines.add("  " + rule->getDisplayText());
    }
}

void TTransStepMath::assign(const TTransStepMath& other) {
    if (this == &other)
        return;
    Vorn::VOwnedList<Entry> copies;
    for (const Entry* rule : other.entries_) {
        auto copy = std::make_unique<Entry>(*rule);
        copies.add(copy.get());
        copy.release();
    }
    entries_ = std::move(copies);
    description_ = other.description_;
    resolveJumps();
}

int TTransStepMath::skipRule(int position) const {
    while (position < count() && entry(position).kind() == Entry::kComment)
        ++position;
    return position + 1;
}

int TTransStepMath::execute(TTransEvent& event) const {
    const TGlobalTranslateParams* globals = event.globals;
    const bool logging =
        globals != nullptr && globals->isLogging(TGlobalTranslateParams::kLogRules);
    const int n = count();
    int jumps = 0;
    int i = 0;
    while (i < n) {
        const Entry& rule = entry(i);
        if (!rule.evaluate(event, logging)) {
            ++i;
            continue;
        }
        const int kind = rule.kind();
        if (kind <= Entry::kShiftRight) {
            ++i;
            continue;
        }
        if (logging && !rule.hasCondition())
            globals->logRule(rule.getDisplayText(), -1, event);
        switch (kind) {
        case Entry::kGoto: {
            // Every label of the name counts as a jump; past the limit none is taken.
            const JumpTarget& target = jumpTargets_[static_cast<size_t>(i)];
            jumps += target.labelCount;
            if (target.labelCount > 0 && jumps <= kMaxJumps) {
                i = target.label + 1;
                continue;
            }
            if (logging) {
                for (int k = std::min(target.labelCount, jumps - kMaxJumps); k > 0; --k)
                    globals->logRule("Infinite Loop detected!", -1, event);
                globals->logRule(VString::format("Error: Cannot find jump destination: \"%s\"",
                                                 rule.text().c_str()),
                                 -1, event);
            }
            return 0;
        }
        case Entry::kSkipNext:
            i = skipRule(i + 1);
            break;
        case Entry::kSkipNext2:
            i = skipRule(skipRule(i + 1));
            break;
        case Entry::kExitExecute:
            return 0;
        case Entry::kExitSkip:
            return 1;
        default:
            ++i;
            break;
        }
    }
    return 0;
}

} // namespace Tr
