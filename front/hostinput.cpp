#include "front/hostinput.h"

namespace {

constexpr int32_t kFromStart = 0;
constexpr int32_t kFromEnd = 2;

}  // namespace

bool HostInput::open()
{
    return source_->fpOpen != nullptr && source_->fpOpen(source_) != 0;
}

uint64_t HostInput::measure()
{
    const int32_t here = p_tell();
    if (here < 0 || !p_seek(0, kFromEnd)) {
        return 0;
    }
    const int32_t end = p_tell();
    if (end < 0 || !p_seek(here, kFromStart)) {
        return 0;
    }
    return static_cast<uint64_t>(end);
}

int32_t HostInput::readAt(uint64_t offset, void *buffer, int32_t count)
{
    if (offset > INT32_MAX || !p_seek(static_cast<int32_t>(offset), kFromStart)) {
        return -1;
    }
    int32_t got = 0;
    while (got < count && source_->fpRead != nullptr) {
        const int32_t step = source_->fpRead(source_, static_cast<uint8_t *>(buffer) + got, count - got);
        if (step < 1) {
            break;
        }
        got += step;
    }
    return got;
}

void HostInput::close()
{
    if (source_->fpClose != nullptr) {
        source_->fpClose(source_);
    }
}

void HostInput::reportTo(HostSource *source, const char *text)
{
    if (source->fpReport != nullptr) {
        source->fpReport(source, text, 0);
    }
}

bool HostInput::p_seek(int32_t offset, int32_t origin)
{
    return source_->fpSeek != nullptr && source_->fpSeek(source_, offset, origin) == 1;
}

int32_t HostInput::p_tell()
{
    return source_->fpTell == nullptr ? -1 : source_->fpTell(source_);
}

BlockOperations hostBlocks(HostServices *services)
{
    if (services == nullptr || services->PubSnormalmalloc == nullptr || services->PubSfree == nullptr) {
        return {};
    }
    return {services,
            [](void *owner, uint32_t size) {
                auto *host = static_cast<HostServices *>(owner);
                return host->PubSnormalmalloc(host, 1, size);
            },
            [](void *owner, void *block) {
                auto *host = static_cast<HostServices *>(owner);
                host->PubSfree(host, block);
            }};
}
