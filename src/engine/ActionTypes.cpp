#include "engine/ActionTypes.h"

#include <cstring>

namespace Tr {

uint32_t activityInBit(int type) {
    switch (type) {
    case kTypeMidi:
        return kActivityMidiIn;
    case kTypeKeystroke:
        return kActivityKeystrokeIn;
    case kTypeMouse:
        return kActivityMouseIn;
    case kTypeTimer:
        return kActivityTimerIn;
    case kTypeSerialPort:
        return kActivitySerialIn;
    case kTypeOsc:
        return kActivityOscIn;
    case kTypePresetChange:
    case kTypeEnable:
    case kTypeImage:
    case kTypeExecuteFile:
    case kTypeReserved11:
    case kTypeTablet:
    case kTypeScreen:
    case kTypeAppleScript:
        return kActivityOtherIn;
    default: // 0, 7, 8 and codes outside the table
        return 0;
    }
}

uint32_t activityOutBit(int type) {
    switch (type) {
    case kTypeMidi:
        return kActivityMidiOut;
    case kTypeKeystroke:
        return kActivityKeystrokeOut;
    case kTypeMouse:
        return kActivityMouseOut;
    case kTypeTimer:
        return kActivityTimerOut;
    case kTypeSMsg:
        return kActivitySMsgOut;
    case kTypeSerialPort:
        return kActivitySerialOut;
    case kTypeOsc:
        return kActivityOscOut;
    case kTypePresetChange:
    case kTypeEnable:
    case kTypeImage:
    case kTypeExecuteFile:
    case kTypeReserved11:
    case kTypeTablet:
    case kTypeScreen:
    case kTypeAppleScript:
        return kActivityOtherOut;
    default:
        return 0;
    }
}

int typeFromTag(const Vorn::VString& tag) {
    struct Entry {
        const char* tag;
        int type;
    };
    static constexpr Entry kTags[] = {
        {"MID1", kTypeMidi},        {"KAM1", kTypeKeystroke},    {"KAM2", kTypeKeystroke},
        {"KAM3", kTypeKeystroke},   {"KSQ1", kTypeKeystroke},    {"Key ", kTypeKeystroke},
        {"Mse1", kTypeMouse},       {"Mse2", kTypeMouse},        {"Mse3", kTypeMouse},
        {"Tim0", kTypeTimer},       {"Pres", kTypePresetChange}, {"EnDi", kTypeEnable},
        {"None", kTypeNone},        {"SMsg", kTypeSMsg},         {"Img1", kTypeImage},
        {"ExF1", kTypeExecuteFile}, {"TAB:", kTypeTablet},       {"Scrn", kTypeScreen},
        {"SerP", kTypeSerialPort},  {"ApSc", kTypeAppleScript},  {"OSCA", kTypeOsc},
    };
    if (tag.length() < 4)
        return kTypeUnknown;
    for (const Entry& entry : kTags) {
        if (std::memcmp(tag.c_str(), entry.tag, 4) == 0)
            return entry.type;
    }
    return kTypeUnknown;
}

} // namespace Tr
