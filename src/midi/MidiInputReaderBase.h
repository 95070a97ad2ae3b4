#pragma once

#include "foundation/VThread.h"
#include "midi/MidiInputBase.h"

#include <memory>

namespace Tr {

// An input that owns a reader thread, for byte-stream kinds (serial MIDI): the thread reads
// single bytes and parses them until told to stop or the port reports closed.
//
// Threads: open/close on the manager's threads; readByte on the reader thread. A device lost on
// its own reader thread only signals the thread to stop; it is joined by the next open, a close
// from another thread, or the destructor.
class MidiInputReaderBase : public MidiInputBase, private Vorn::VThreadRunner {
public:
    static constexpr int kReadClosed = -1;
    static constexpr int kStackBytes = 51200;
    static constexpr int kIdleSleepMillis = 10;

    MidiInputReaderBase(MidiDeviceFactory* factory, const MidiDeviceDescriptor& descriptor);
    ~MidiInputReaderBase() override;

protected:
    // 1 with a byte, 0 when none is available, kReadClosed when the port is closed.
    virtual int readByte(uint8_t& byte) = 0;
    // The kind's own open and close around the reader thread.
    virtual bool openReader(Vorn::VString& error) = 0;
    virtual void closeReader() = 0;

    bool openPort(Vorn::VString& error) override;
    void closePort() override;

private:
    void run(Vorn::VThread* thread) override;
    void stopThread();

    std::unique_ptr<Vorn::VThread> thread_;
};

} // namespace Tr
