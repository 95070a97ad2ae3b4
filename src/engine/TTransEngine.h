#pragma once

#include "engine/TEngineHooks.h"
#include "engine/TEventProcessor.h"
#include "engine/TGlobalTranslateParams.h"
#include "engine/TProjectRawListener.h"

#include <cstdint>
#include <memory>

namespace Tr {

class TPresetHandler;
class TRuntimeDispatcherImpl;
class TTransMsg;
struct TTransEvent;

// The translation engine: walks the active presets for every incoming event, runs matching
// translators' rules and outgoing actions inline or through the runtime dispatcher.
//
// Threads: processEvent runs on whatever thread delivers an event, many at once; each walk holds
// the preset lock shared. tryProcessEvent is for real-time threads, which must never wait.
// The notifications arrive on the thread that caused them; everything else is the host's thread.
class TTransEngine : public TProjectRawListener,
                     public TEngineEnabledListener,
                     public TEventProcessor {
public:
    struct Options {
        // The dispatcher runs nothing by itself; its owner drives it (tests, offline translate).
        bool manualDrive = false;
        // Reported in the project-opened event (pp, qq); 0 where unknown.
        int osMajorVersion = 0;
        int osMinorVersion = 0;
    };

    TTransEngine();
    explicit TTransEngine(const Options& options);
    ~TTransEngine() override;
    TTransEngine(const TTransEngine&) = delete;
    TTransEngine& operator=(const TTransEngine&) = delete;

    TGlobalTranslateParams& globals() { return *globals_; }
    TPresetHandler& presetHandler() { return *presetHandler_; }
    TRuntimeDispatcherImpl& dispatcher() { return *dispatcher_; }

    // Matches the event against every active preset; adds activity bits to flags.
    // Allocates nothing and waits only for the preset lock.
    void processEvent(TTransEvent& event, uint32_t& flags);
    // As processEvent, but gives up (false, nothing done) when the preset lock is held
    // exclusively; the caller then hands the event to another thread.
    bool tryProcessEvent(TTransEvent& event, uint32_t& flags);
    // processEvent, then the activity flags to the activity listener.
    void processEventAndNotify(TTransEvent& event) override;

    // MIDI input from the MIDI manager, on a MIDI input thread: swallowed becomes true when the
    // last matching translator swallows the message. Null data or length <= 0 is ignored.
    void midiData(int slot, int64_t timestamp, const uint8_t* data, int length, bool& swallowed);
    // The MIDI manager forwarded a message along a route.
    void midiThru();

    // All global variables to 0, every pending dispatcher node dropped.
    void reset();

    // The host's processing switch: also pauses or resumes timers and MIDI output.
    void setProcessing(bool on);
    // Switches processing off, silences every MIDI output and keeps MIDI output stopped until
    // processing is switched on again.
    void panic();

    // Set by the MIDI manager and the timer manager (not owned; null: none). The constructor
    // attaches the engine to the process-wide timer manager.
    void setMidiOutput(TEngineMidiOutput* output) { midiOutput_ = output; }
    void setTimerControl(TEngineTimerControl* timers) { timers_ = timers; }

    // TProjectRawListener
    void projectOpened(TPresetHandler* handler) override;
    void projectReset(TPresetHandler* handler) override;
    void presetActivationChanged(TPresetHandler* handler, TTransList* preset, int index) override;
    // TEngineEnabledListener
    void processingEnabledChanged(int enabled) override;

private:
    void walk(TTransEvent& event, uint32_t& flags);
    bool matchTranslator(TTransMsg* translator, TTransEvent& event, uint32_t& flags);

    Options options_;
    std::unique_ptr<TGlobalTranslateParams> globals_;
    std::unique_ptr<TPresetHandler> presetHandler_;
    std::unique_ptr<TRuntimeDispatcherImpl> dispatcher_;
    TEngineMidiOutput* midiOutput_ = nullptr;
    TEngineTimerControl* timers_ = nullptr;
};

} // namespace Tr
