#pragma once

namespace Tr {

class TPresetHandler;
class TTransList;
class TTransMsg;

// The nine project notifications of the preset handler, called in registration order on the
// thread that caused them (editing, loading, or a preset change on the dispatcher thread).
// Every operation does nothing unless overridden.
class TProjectRawListener {
public:
    virtual ~TProjectRawListener() = default;
    virtual void projectOpened(TPresetHandler* /*handler*/) {}     // 1
    virtual void projectReset(TPresetHandler* /*handler*/) {}      // 2
    virtual void suspendEnded(TPresetHandler* /*handler*/) {}      // 3
    virtual void presetListChanged(TPresetHandler* /*handler*/) {} // 4
    virtual void presetActivationChanged(TPresetHandler* /*handler*/, TTransList* /*preset*/,
                                         int /*index*/) {}                                  // 5
    virtual void presetStateChanged(TPresetHandler* /*handler*/, TTransList* /*preset*/) {} // 6
    virtual void presetChanged(TPresetHandler* /*handler*/, TTransList* /*preset*/) {}      // 7
    virtual void translatorChanged(TPresetHandler* /*handler*/, TTransList* /*preset*/,
                                   TTransMsg* /*translator*/) {}  // 8
    virtual void handlerDestroyed(TPresetHandler* /*handler*/) {} // 9
};

} // namespace Tr
