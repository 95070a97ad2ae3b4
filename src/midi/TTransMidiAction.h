#pragma once

#include "engine/TTransAction.h"
#include "midi/MIDIAliasList.h"
#include "midi/MidiPortListCache.h"
#include "midi/RawMidiMessage.h"
#include "midi/SimpleMidiMessage.h"

#include <atomic>
#include <memory>

namespace Tr {

class MidiManager;
class TGlobalTranslateParams;
class TTransList;

// The MIDI message action. Incoming, a pattern that an arriving MIDI message is tested against
// (capturing parts of it into variables); outgoing, a template from which MIDI bytes are built
// and sent at once through the MIDI manager. It holds a simple (typed) or a raw (hexadecimal)
// message, or neither (never matches, sends nothing), the ports it listens on or sends to, and
// a description.
//
// Stored forms: "MID1" (raw, no ports), "MID2" (raw with ports), "MID3" (the XML element form,
// written for simple messages).
//
// Threads: as every action. matches() and execute() may run on several threads at once (the
// messages keep their runtime state safe themselves, outgoing bytes are built per call) and
// allocate nothing unless logging is on.
class TTransMidiAction : public TTransAction {
public:
    static constexpr const char* kTagRaw = "MID1";
    static constexpr const char* kTagRawWithPorts = "MID2";
    static constexpr const char* kTagElement = "MID3";
    static constexpr const char* kKindName = "MIDI";
    static constexpr const char* kPortClosed = "[port closed]";

    explicit TTransMidiAction(bool incoming) : TTransAction(incoming) {}
    ~TTransMidiAction() override;

    // Raw descriptions read as friendly texts (set by the host). Process-wide.
    static void setFriendlyDescription(bool on);
    static bool friendlyDescription();

    const SimpleMidiMessage* simple() const { return simple_.get(); }
    const RawMidiMessage* raw() const { return raw_.get(); }
    // Installs a simple message from its parts (SimpleMidiMessage::set); the raw one goes.
    void setSimple(int type, VarOrNumber channel, VarOrNumber value1, VarOrNumber value2,
                   int paramMsb, int paramLsb, uint32_t flags, int channelVar, int value1Var,
                   int value2Var);
    // Installs a raw message from text, reporting problems to errors (may be null); the simple
    // one goes. False when the text has no valid bytes (it is kept all the same).
    bool setRaw(const Vorn::VString& text, Vorn::ErrorMessageCallback* errors);

    // The user's text; empty means a generated description.
    const Vorn::VString& description() const { return description_; }
    void setDescription(const Vorn::VString& text) { description_ = text; }
    // MIDI IN aliases of an incoming action, MIDI OUT aliases of an outgoing one; empty: the
    // preset's, else the project's default ports.
    MIDIAliasList& ports() { return ports_; }
    const MIDIAliasList& ports() const { return ports_; }
    int aliasType() const;

    // Sends through this manager instead of the current one (tests, benchmarks); null: current.
    void setManager(MidiManager* manager) { manager_ = manager; }

    void assign(const TTransAction& other) override;
    Vorn::VString getDescription() const override;
    Vorn::VString toString() const override;
    // Throws Vorn::VException "invalid MIDI message" for another tag and "Wrong string format"
    // for a cut-short text field.
    int fromString(const Vorn::VString& text) override;
    bool readElement(const Vorn::XmlElement& element, Vorn::ErrorMessageCallback* errors) override;
    bool writeElement(Vorn::XmlElement& element) const override;
    bool matches(TTransEvent& event) override;
    bool execute(TTransContext& context) override;
    int getType() const override;
    int getExecutionLevel() const override;
    int getCapabilities() const override;

protected:
    std::unique_ptr<TTransAction> newInstance() const override;

private:
    // The port list in force: the own list, else the preset's, else the project's defaults;
    // null when all are empty.
    const MIDIAliasList* portsInForce(const TTransList* preset,
                                      const TGlobalTranslateParams* globals,
                                      std::shared_ptr<const MIDIAliasList>& holder) const;
    int sendBytes(const MIDIAliasList* ports, const uint8_t* data, int length) const;

    MIDIAliasList ports_;
    Vorn::VString description_;
    std::unique_ptr<SimpleMidiMessage> simple_;
    std::unique_ptr<RawMidiMessage> raw_;
    MidiPortListCache defaultPorts_;
    MidiManager* manager_ = nullptr;
};

// Registers the MIDI action under its tags MID1, MID2 and MID3. Idempotent and thread-safe; the
// host calls it at start-up, tests that create actions from stored forms call it themselves.
void registerMidiActions();

} // namespace Tr
