#include "engine/TTransEngine.h"

#include "engine/ActionTypes.h"
#include "engine/ReportFailures.h"
#include "engine/TActionRegistry.h"
#include "engine/TPresetHandler.h"
#include "engine/TRuntimeDispatcher.h"
#include "engine/TTTManager.h"
#include "engine/TTransAction.h"
#include "engine/TTransContext.h"
#include "engine/TTransEvent.h"
#include "engine/TTransList.h"
#include "engine/TTransMsg.h"
#include "engine/TTransStepMath.h"

#include <algorithm>
#include <limits>

namespace Tr {

using Vorn::VString;

namespace {

constexpr int kProjectOpenedKey = 2;

class ReadLockGuard {
public:
    explicit ReadLockGuard(Vorn::VRWLock& lock) : lock_(lock) { lock_.lockRead(); }
    ReadLockGuard(Vorn::VRWLock& lock, std::adopt_lock_t) : lock_(lock) {}
    ~ReadLockGuard() { lock_.unlockRead(); }
    ReadLockGuard(const ReadLockGuard&) = delete;
    ReadLockGuard& operator=(const ReadLockGuard&) = delete;

private:
    Vorn::VRWLock& lock_;
};

int delayMillis(const TTransAction& action, const TTransContext& context) {
    int64_t scale = 0;
    if (action.delayUnit() == kDelaySeconds)
        scale = 1000;
    else if (action.delayUnit() == kDelayMillis)
        scale = 1;
    if (scale == 0)
        return 0;
    const int64_t millis =
        int64_t(action.delay().currentValue(context.locals, context.globals)) * scale;
    return static_cast<int>(std::min<int64_t>(millis, std::numeric_limits<int>::max()));
}

} // namespace

TTransEngine::TTransEngine() : TTransEngine(Options{}) {}

TTransEngine::TTransEngine(const Options& options) : options_(options) {
    registerEngineActions();
    globals_ = std::make_unique<TGlobalTranslateParams>();
    presetHandler_ = std::make_unique<TPresetHandler>(globals_.get(), this);
    dispatcher_ = std::make_unique<TRuntimeDispatcherImpl>(
        globals_.get(), this,
        options.manualDrive ? TRuntimeDispatcherImpl::Drive::Manual
                            : TRuntimeDispatcherImpl::Drive::Threaded);
    globals_->setPresetHandler(presetHandler_.get());
    globals_->setEngine(this);
    globals_->setPresetChangeReceiver(presetHandler_.get());
    globals_->addEnabledListener(this);
    // The translator timers deliver their firings here and follow the engine's drive.
    TTTManager::instance().attachEngine(this, options.manualDrive);
}

TTransEngine::~TTransEngine() {
    globals_->removeEnabledListener(this);
    globals_->setPresetChangeReceiver(nullptr);
    if (timers_) {
        timers_->stopAllTimers();
        timers_->engineDestroyed(this);
    }
    // The dispatcher thread may be processing a posted event that walks the presets: stop it
    // before the presets go. Its pools stay until the translators have been released.
    dispatcher_->stop();
    presetHandler_.reset();
    dispatcher_.reset();
}

void TTransEngine::processEvent(TTransEvent& event, uint32_t& flags) {
    event.globals = globals_.get();
    {
        ReadLockGuard guard(presetHandler_->presetLock());
        walk(event, flags);
    }
    globals_->stats().countEvent(event.type);
}

bool TTransEngine::tryProcessEvent(TTransEvent& event, uint32_t& flags) {
    Vorn::VRWLock& lock = presetHandler_->presetLock();
    if (!lock.tryLockRead())
        return false;
    event.globals = globals_.get();
    {
        ReadLockGuard guard(lock, std::adopt_lock);
        walk(event, flags);
    }
    globals_->stats().countEvent(event.type);
    return true;
}

void TTransEngine::processEventAndNotify(TTransEvent& event) {
    uint32_t flags = 0;
    processEvent(event, flags);
    globals_->addActivity(flags);
}

void TTransEngine::walk(TTransEvent& event, uint32_t& flags) {
    if (event.type == kTypeMidi && event.data && event.dataLength > 0) {
        if (event.data[0] == 0xF8)
            flags |= kActivityMidiClock;
        else if (event.data[0] == 0xFE)
            flags |= kActivityActiveSensing;
    }
    flags |= activityInBit(event.type);

    const TPresetHandler& handler = *presetHandler_;
    const int presetCount = handler.presetCount();
    // A preset just deactivated still sees its own deactivation.
    const bool isDeactivation = event.type == kTypePresetChange && event.key == 0;
    for (int i = 0; i < presetCount; ++i) {
        event.presetIndex = i;
        TTransList* preset = handler.preset(i);
        if (!preset)
            continue;
        if (!preset->isActive() && !(isDeactivation && event.presetIndexArg == i))
            continue;
        event.preset = preset;
        const int translatorCount = preset->count();
        for (int j = 0; j < translatorCount; ++j) {
            event.translatorIndex = j;
            TTransMsg* translator = preset->get(j);
            if (!translator)
                continue;
            event.rerunRequest = 0;
            event.rerun = 0;
            bool matched = matchTranslator(translator, event, flags);
            while (event.rerunRequest) {
                event.rerunRequest = 0;
                event.rerun = 1;
                matched = matchTranslator(translator, event, flags) || matched;
            }
            if (matched && translator->stop())
                return;
        }
    }
}

bool TTransEngine::matchTranslator(TTransMsg* translator, TTransEvent& event, uint32_t& flags) {
    TTransAction* incoming = translator->incoming();
    if (!translator->isActive() || !incoming || incoming->getType() != event.type ||
        !incoming->matches(event))
        return false;
    TTransStats& stats = globals_->stats();
    stats.countMatch(event.type);
    if (translator->hasRules() && translator->rules()->execute(event) != 0)
        return false;
    event.outputOriginal = translator->outputOriginal() ? 1 : 0;
    flags |= kActivityMatched;

    TTransAction* outgoing = translator->outgoing();
    if (!outgoing)
        return true;
    if (!globals_->processingEnabled() && outgoing->getType() != kTypeEnable)
        return true;
    TTransContext context{globals_.get(),    event.translatorIndex, translator,
                          event.presetIndex, event.preset,          event.locals};
    const int delay = delayMillis(*outgoing, context);
    if (event.level < outgoing->getExecutionLevel() || delay > 0)
        dispatcher_->postOutgoing(context, delay);
    else
        runReportingFailures([&] { translator->executeOutgoing(context, flags); });
    stats.countOutgoing(event.type);
    return true;
}

void TTransEngine::midiData(int slot, int64_t /*timestamp*/, const uint8_t* data, int length,
                            bool& swallowed) {
    if (!data || length <= 0)
        return;
    TTransEvent event;
    event.clear();
    event.type = kTypeMidi;
    event.level = kLevelInput;
    event.key = slot;
    event.data = data;
    event.dataLength = length;
    event.realtime = data[0] == 0xF8 || data[0] == 0xFE ? 1 : 0;
    event.outputOriginal = swallowed ? 0 : 1;
    processEventAndNotify(event);
    swallowed = event.outputOriginal == 0;
}

void TTransEngine::midiThru() {
    globals_->addActivity(kActivityMidiThru);
}

void TTransEngine::reset() {
    globals_->clearGlobalVariables();
    dispatcher_->flush();
}

void TTransEngine::setProcessing(bool on) {
    globals_->setProcessingEnabled(on ? 1 : 0);
    if (on) {
        if (timers_)
            timers_->setPaused(false);
        if (midiOutput_)
            midiOutput_->setOutputPaused(false);
    } else if (timers_) {
        timers_->stopAllTimers();
        timers_->setPaused(true);
    }
}

void TTransEngine::panic() {
    setProcessing(false);
    if (!midiOutput_)
        return;
    for (int channel = 0; channel < 16; ++channel) {
        for (const uint8_t controller : {uint8_t(120), uint8_t(123)}) {
            const uint8_t message[3] = {uint8_t(0xB0 + channel), controller, 0};
            midiOutput_->sendToAllOutputs(message, 3);
        }
    }
    midiOutput_->setOutputPaused(true);
}

void TTransEngine::projectOpened(TPresetHandler* /*handler*/) {
    reset();
    TTransEvent event;
    event.clear();
    event.type = kTypeEnable;
    event.level = kLevelDispatcher;
    event.key = kProjectOpenedKey;
    event.locals[0] = 1;
    event.locals[1] = options_.osMajorVersion;
    event.locals[2] = options_.osMinorVersion;
    dispatcher_->postIncoming(event);
}

void TTransEngine::projectReset(TPresetHandler* /*handler*/) {
    reset();
}

void TTransEngine::presetActivationChanged(TPresetHandler* handler, TTransList* preset, int index) {
    if (!preset)
        return;
    if (index < 0 && handler) {
        ReadLockGuard guard(handler->presetLock());
        index = handler->indexOf(preset);
    }
    const VString name = preset->name();
    TTransEvent event;
    event.clear();
    event.type = kTypePresetChange;
    event.level = kLevelInput;
    event.key = preset->isActive() ? 1 : 0;
    event.presetIndexArg = index;
    event.text = name.c_str();
    event.locals[1] = index;
    processEventAndNotify(event);
}

void TTransEngine::processingEnabledChanged(int enabled) {
    TTransEvent event;
    event.clear();
    event.type = kTypeEnable;
    event.level = kLevelDispatcher;
    event.key = enabled;
    dispatcher_->postIncoming(event);
}

} // namespace Tr
