#pragma once

#include "foundation/VString.h"

namespace Tr {

struct TTransEvent;

// The rules of one translator. For now the program is kept in its stored form exactly as read,
// so that loading and saving never lose it; nothing is interpreted and execution changes nothing.
class TTransStepMath {
public:
    virtual ~TTransStepMath() = default;

    // Reads the stored form starting at its tag at position; returns the characters consumed.
    // Without a parser for the rules themselves the field cannot be delimited, so it takes the
    // rest of the text. Throws Vorn::VException "corrupt rule" for a bad tag or a short field.
    int fromStored(const Vorn::VString& text, int position);
    const Vorn::VString& toStored() const { return stored_; }

    // True when the translator carries a program (a stored form was read).
    bool hasRules() const { return !stored_.isEmpty(); }
    // The description field, else "%d rules" with the count of the stored form.
    Vorn::VString getShortDescription() const;

    // Runs the program on the event's locals; false means "skip the outgoing action".
    // Called on the thread processing the event, under the preset lock (shared).
    bool execute(TTransEvent& event);

    void assign(const TTransStepMath& other) { stored_ = other.stored_; }

private:
    Vorn::VString stored_;
};

} // namespace Tr
