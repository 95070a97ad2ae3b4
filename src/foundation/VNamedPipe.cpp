#include "foundation/VNamedPipe.h"

#include <string>

namespace Vorn {

VNamedPipe::VNamedPipe(const VString& name)
    : VNamedPipe(name, Platform::systemInstanceChannels()) {}

VNamedPipe::VNamedPipe(const VString& name, Platform::InstanceChannels& channels)
    : channels_(channels), name_(safeName(name)), path_(VString("\\\\.\\pipe\\") + name_),
      channel_(channels.channel(std::string(name_.view()))) {}

VNamedPipe::~VNamedPipe() {
    close();
}

VString VNamedPipe::safeName(const VString& name) {
    std::string text(name.view());
    for (char& c : text) {
        if (c == '\\' || c == ':' || c == '/')
            c = '_';
    }
    return VString(std::string_view(text));
}

bool VNamedPipe::create() {
    moreData_.store(false);
    return channel_->create();
}

int VNamedPipe::open() {
    return channel_->open(kBusyWaitMillis);
}

int VNamedPipe::read(char* buffer) {
    bool more = false;
    const int n = channel_->read(buffer, kReadSize, more);
    moreData_.store(more);
    return n;
}

int VNamedPipe::write(const void* data, int n) {
    return n > 0 ? channel_->write(data, n) : 0;
}

bool VNamedPipe::exists() {
    return channels_.exists(std::string(name_.view()));
}

void VNamedPipe::close() {
    moreData_.store(false);
    channel_->close();
}

} // namespace Vorn
