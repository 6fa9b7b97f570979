#include "host_source.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>

namespace tqhost {

MemorySource::MemorySource(std::vector<uint8_t> bytes, HostContext &context)
    : bytes_(std::move(bytes)), context_(context)
{
    static_assert(std::is_standard_layout_v<Record> && offsetof(Record, source) == 0,
                  "the callbacks find the source from the HostSource they are given");
    constexpr std::size_t kMax = std::numeric_limits<int32_t>::max();
    size_ = static_cast<int32_t>(std::min(bytes_.size(), kMax));

    HostSource &src = record_.source;
    src.fpOpen = &MemorySource::open;
    src.fpRead = &MemorySource::read;
    src.fpSeek = &MemorySource::seek;
    src.fpTell = context_.options.hasTell ? &MemorySource::tell : nullptr;
    src.fpClose = &MemorySource::close;
    src.fpReport = context_.options.hasReport ? &MemorySource::report : nullptr;
    record_.self = this;
}

std::string_view MemorySource::firstBytes(std::size_t count) const
{
    return {reinterpret_cast<const char *>(bytes_.data()), std::min(count, bytes_.size())};
}

MemorySource &MemorySource::of(HostSource *src)
{
    // The library only ever passes back the record it was given, whose
    // HostSource is the first member.
    return *reinterpret_cast<Record *>(src)->self;
}

int32_t MemorySource::open(HostSource *src)
{
    MemorySource &self = of(src);
    ++self.stats_.opens;
    if (self.context_.faults().next(HostOp::Open)) {
        ++self.stats_.refusedOpens;
        return 0;
    }
    return 1;
}

int32_t MemorySource::read(HostSource *src, void *buffer, int32_t count)
{
    MemorySource &self = of(src);
    ++self.stats_.reads;
    if (self.context_.faults().next(HostOp::Read))
        return -1;
    if (count <= 0 || buffer == nullptr || self.position_ >= self.size_)
        return 0;
    int32_t n = std::min(count, self.size_ - self.position_);
    const int32_t chunk = self.context_.options.readChunk;
    if (chunk > 0)
        n = std::min(n, chunk);
    std::memcpy(buffer, self.bytes_.data() + self.position_, static_cast<std::size_t>(n));
    self.position_ += n;
    self.stats_.bytesRead += static_cast<uint64_t>(n);
    return n;
}

int32_t MemorySource::seek(HostSource *src, int32_t offset, int32_t origin)
{
    MemorySource &self = of(src);
    ++self.stats_.seeks;
    if (self.context_.faults().next(HostOp::Seek)) {
        ++self.stats_.failedSeeks;
        return 0;
    }
    int64_t base = 0;
    switch (origin) {
    case 0:
        base = 0;
        break;
    case 1:
        base = self.position_;
        break;
    case 2:
        base = self.size_;
        break;
    default:
        ++self.stats_.failedSeeks;
        return 0;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > self.size_) {
        ++self.stats_.failedSeeks;
        return 0;
    }
    self.position_ = static_cast<int32_t>(target);
    return 1;
}

int32_t MemorySource::tell(HostSource *src)
{
    MemorySource &self = of(src);
    ++self.stats_.tells;
    if (self.context_.faults().next(HostOp::Tell))
        return -1;
    return self.position_;
}

void MemorySource::close(HostSource *src) { ++of(src).stats_.closes; }

void MemorySource::report(HostSource *src, const char *text, int32_t zero)
{
    MemorySource &self = of(src);
    ++self.stats_.reports;
    if (zero != 0)
        self.context_.anomaly("fpReport called with a non-zero third argument");
    if (text == nullptr) {
        self.context_.anomaly("fpReport called with a null text");
        return;
    }
    self.context_.log.report(text);
}

}  // namespace tqhost
