#include "midi/MidiInputReaderBase.h"

namespace Tr {

MidiInputReaderBase::MidiInputReaderBase(MidiDeviceFactory* factory,
                                         const MidiDeviceDescriptor& descriptor)
    : MidiInputBase(factory, descriptor) {}

MidiInputReaderBase::~MidiInputReaderBase() {
    stopThread();
}

bool MidiInputReaderBase::openPort(Vorn::VString& error) {
    stopThread();
    if (!openReader(error))
        return false;
    thread_ = std::make_unique<Vorn::VThread>(descriptor().displayName() + ": ",
                                              static_cast<Vorn::VThreadRunner*>(this));
    thread_->setStackSize(kStackBytes);
    markOpenTime();
    resetInputState();
    if (!thread_->start()) {
        closeReader();
        thread_.reset();
        error = "cannot start the reader thread";
        return false;
    }
    setConnected(true);
    return true;
}

void MidiInputReaderBase::closePort() {
    closeReader();
    if (thread_ && thread_->isCurrentThread()) {
        // Lost on the reader itself: a thread cannot join itself, so it is only told to stop
        // and joined by the next open, a close from elsewhere or the destructor.
        thread_->requestStop();
        return;
    }
    stopThread();
}

void MidiInputReaderBase::stopThread() {
    if (!thread_)
        return;
    thread_->stop();
    thread_.reset();
}

void MidiInputReaderBase::run(Vorn::VThread* thread) {
    while (!thread->isStopRequested()) {
        uint8_t byte = 0;
        const int result = readByte(byte);
        if (result == kReadClosed)
            break;
        if (result == 1)
            parseByte(byte);
        else
            thread->waitForWake(kIdleSleepMillis);
    }
}

} // namespace Tr
