#include "midi/TTransMidiAction.h"

#include "engine/ActionFields.h"
#include "engine/ActionTypes.h"
#include "engine/TActionRegistry.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TPresetHandler.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "engine/TTransList.h"
#include "foundation/VException.h"
#include "foundation/XmlElement.h"
#include "midi/MIDIAlias.h"
#include "midi/MidiManager.h"
#include "midi/MidiMessageText.h"

#include <mutex>

namespace Tr {

using Vorn::VString;

namespace {

constexpr const char* kInvalidMessage = "invalid MIDI message";
constexpr const char* kDescriptionMagic = "MIDD";
constexpr int kTagLength = 4;

std::atomic<bool> friendlyDescriptions{false};

bool loggingOf(const TGlobalTranslateParams* globals, int kind) {
    return globals && globals->isLogging(kind);
}

} // namespace

TTransMidiAction::~TTransMidiAction() = default;

void TTransMidiAction::setFriendlyDescription(bool on) {
    friendlyDescriptions.store(on, std::memory_order_relaxed);
}

bool TTransMidiAction::friendlyDescription() {
    return friendlyDescriptions.load(std::memory_order_relaxed);
}

int TTransMidiAction::aliasType() const {
    return isIncoming() ? MIDIAlias::kIn : MIDIAlias::kOut;
}

void TTransMidiAction::setSimple(int type, VarOrNumber channel, VarOrNumber value1,
                                 VarOrNumber value2, int paramMsb, int paramLsb, uint32_t flags,
                                 int channelVar, int value1Var, int value2Var) {
    auto simple = std::make_unique<SimpleMidiMessage>();
    simple->set(type, channel, value1, value2, paramMsb, paramLsb, flags, channelVar, value1Var,
                value2Var, isIncoming());
    simple_ = std::move(simple);
    raw_.reset();
}

bool TTransMidiAction::setRaw(const VString& text, Vorn::ErrorMessageCallback* errors) {
    auto raw = std::make_unique<RawMidiMessage>();
    const bool installed = raw->setText(text, errors);
    raw_ = std::move(raw);
    simple_.reset();
    return installed;
}

void TTransMidiAction::assign(const TTransAction& other) {
    const auto* midi = dynamic_cast<const TTransMidiAction*>(&other);
    if (!midi || midi == this)
        return;
    if (midi->raw_) {
        setRaw(midi->raw_->text(), nullptr);
    } else {
        raw_.reset();
        simple_ = midi->simple_ ? std::make_unique<SimpleMidiMessage>(*midi->simple_) : nullptr;
    }
    description_ = midi->description_;
    ports_.clear();
    for (MIDIAlias* alias : midi->ports_)
        ports_.add(alias);
}

VString TTransMidiAction::getDescription() const {
    VString text = description_;
    if (text.isEmpty()) {
        if (simple_)
            text = simple_->describe();
        else if (raw_ && !raw_->text().isEmpty())
            text = friendlyDescription() ? friendlyMidiDescription(raw_->text())
                                         : "MIDI " + spacedPairs(raw_->text());
    }
    if (text.isEmpty() || ports_.isEmpty())
        return text;
    const bool several = ports_.count() > 1;
    if (isIncoming())
        text += several ? ", on ports " : ", on port ";
    else
        text += several ? ", to ports " : ", to port ";
    text += ports_.displayText();
    return text;
}

VString TTransMidiAction::toString() const {
    if (simple_)
        return elementFormToString(*this, kTagElement);
    if (!raw_)
        return VString();
    VString text = ports_.isEmpty() ? kTagRaw : kTagRawWithPorts;
    // A raw text that itself begins with "MIDD" (the variable "MI" and the byte DD) would read
    // back as a description: an empty description field keeps it apart.
    const bool rawLooksLikeDescription =
        ports_.isEmpty() && raw_->text().startsWith(kDescriptionMagic);
    if (!description_.isEmpty() || rawLooksLikeDescription) {
        text += kDescriptionMagic;
        appendTextField(text, description_);
    }
    if (!ports_.isEmpty())
        ports_.appendCompact(text, aliasType());
    text += raw_->text();
    return text;
}

int TTransMidiAction::fromString(const VString& text) {
    const VString tag = text.substring(0, kTagLength);
    if (tag == kTagElement)
        return elementFormFromString(*this, text, kKindName, nullptr);
    if (tag != kTagRaw && tag != kTagRawWithPorts)
        throw Vorn::VException(kInvalidMessage);
    int position = kTagLength;
    VString description;
    if (text.substring(position, kTagLength) == kDescriptionMagic)
        position += kTagLength + readTextField(text, position + kTagLength, description);
    MIDIAliasList ports;
    if (tag == kTagRawWithPorts)
        position += ports.readCompact(text, position, aliasType());
    description_ = description;
    ports_.clear();
    for (MIDIAlias* alias : ports)
        ports_.add(alias);
    setRaw(text.substring(position), nullptr);
    return text.length();
}

bool TTransMidiAction::readElement(const Vorn::XmlElement& element,
                                   Vorn::ErrorMessageCallback* errors) {
    description_ = element.childText("Description");
    if (const Vorn::XmlElement* ports = element.child("Ports"))
        ports_.readElement(*ports, aliasType());
    if (const Vorn::XmlElement* raw = element.child("Raw")) {
        setRaw(raw->text(), errors);
    } else if (const Vorn::XmlElement* simple = element.child("Simple")) {
        auto loaded = std::make_unique<SimpleMidiMessage>();
        if (!loaded->readElement(*simple, isIncoming(), errors))
            return false;
        simple_ = std::move(loaded);
        raw_.reset();
    }
    return true;
}

bool TTransMidiAction::writeElement(Vorn::XmlElement& element) const {
    element.setAttribute("Action", kKindName);
    element.addTextChild("Description", description_);
    if (!ports_.isEmpty()) {
        if (std::unique_ptr<Vorn::XmlElement> ports = ports_.toElement(aliasType()))
            element.appendChild(std::move(ports));
    }
    if (raw_) {
        element.addTextChild("Raw", raw_->text());
    } else if (simple_) {
        auto simple = std::make_unique<Vorn::XmlElement>("Simple");
        simple_->writeElement(*simple);
        element.appendChild(std::move(simple));
    }
    return true;
}

const MIDIAliasList*
TTransMidiAction::portsInForce(const TTransList* preset, const TGlobalTranslateParams* globals,
                               std::shared_ptr<const MIDIAliasList>& holder) const {
    if (!ports_.isEmpty())
        return &ports_;
    const bool in = isIncoming();
    const VString* text = nullptr;
    if (preset && !(in ? preset->defaultInPorts() : preset->defaultOutPorts()).isEmpty()) {
        text = in ? &preset->defaultInPorts() : &preset->defaultOutPorts();
    } else if (const TPresetHandler* project = globals ? globals->presetHandler() : nullptr) {
        text = in ? &project->defaultInPorts() : &project->defaultOutPorts();
    }
    if (!text || text->isEmpty())
        return nullptr;
    holder = defaultPorts_.resolve(*text, aliasType());
    return holder.get();
}

bool TTransMidiAction::matches(TTransEvent& event) {
    if (!event.data || event.dataLength <= 0 || (!raw_ && !simple_))
        return false;
    std::shared_ptr<const MIDIAliasList> holder;
    const MIDIAliasList* ports = portsInForce(event.preset, event.globals, holder);
    if (ports && !ports->isBoundTo(static_cast<int>(event.key)))
        return false;
    const bool logging = loggingOf(event.globals, TGlobalTranslateParams::kLogIncoming);
    if (raw_) {
        VString line;
        if (!raw_->matches(event.data, event.dataLength, event.locals, event.globals,
                           logging ? &line : nullptr))
            return false;
        if (logging)
            event.globals->logIncoming(line, event);
        return true;
    }
    SimpleMidiMessage::Values actual;
    if (!simple_->matches(event.data, event.dataLength, event.locals, event.globals, actual))
        return false;
    if (logging)
        event.globals->logIncoming(simple_->describe(&actual), event);
    return true;
}

int TTransMidiAction::sendBytes(const MIDIAliasList* ports, const uint8_t* data, int length) const {
    MidiManager* manager = manager_ ? manager_ : MidiManager::instance();
    return ports ? manager->send(*ports, data, length) : manager->sendToAll(data, length);
}

bool TTransMidiAction::execute(TTransContext& context) {
    std::shared_ptr<const MIDIAliasList> holder;
    const MIDIAliasList* ports = portsInForce(context.preset, context.globals, holder);
    const bool logging = loggingOf(context.globals, TGlobalTranslateParams::kLogOutgoing);
    int result = 0;
    if (raw_) {
        result =
            raw_->withBytes(context.locals, context.globals, [&](const uint8_t* data, int length) {
                const int sent = sendBytes(ports, data, length);
                if (logging) {
                    VString line = midiBytesText(data, length);
                    if (sent == 0)
                        line += VString(" ") + kPortClosed;
                    context.globals->logOutgoing(line, kTypeMidi, context);
                }
                return sent;
            });
    } else if (simple_) {
        uint8_t bytes[SimpleMidiMessage::kMaxBytes];
        SimpleMidiMessage::Values actual;
        const int length = simple_->build(bytes, context.locals, context.globals, actual);
        if (length == 0)
            return false;
        result = sendBytes(ports, bytes, length);
        if (logging) {
            VString line = simple_->describe(&actual);
            if (result == 0)
                line += VString(" ") + kPortClosed;
            context.globals->logOutgoing(line, kTypeMidi, context);
        }
    }
    return result != 0;
}

int TTransMidiAction::getType() const {
    return kTypeMidi;
}

int TTransMidiAction::getExecutionLevel() const {
    return kLevelInput;
}

int TTransMidiAction::getCapabilities() const {
    return kCapabilityIncoming | kCapabilityOutgoing;
}

std::unique_ptr<TTransAction> TTransMidiAction::newInstance() const {
    return std::make_unique<TTransMidiAction>(isIncoming());
}

void registerMidiActions() {
    static std::once_flag once;
    std::call_once(once, [] {
        const auto create = [](bool incoming) -> std::unique_ptr<TTransAction> {
            return std::make_unique<TTransMidiAction>(incoming);
        };
        const int both = kCapabilityIncoming | kCapabilityOutgoing;
        for (const char* tag : {TTransMidiAction::kTagRaw, TTransMidiAction::kTagRawWithPorts,
                                TTransMidiAction::kTagElement})
            registerAction({tag, create, kTypeMidi, both});
    });
}

} // namespace Tr
