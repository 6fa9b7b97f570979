#include "host_lean.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tqhost {

int64_t MemoryBytes::readAt(uint64_t offset, void *buffer, std::size_t count)
{
    if (offset >= bytes_.size())
        return 0;
    const std::size_t n = std::min<std::size_t>(count, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return static_cast<int64_t>(n);
}

namespace {

// hostOwn[0] of the source and the services leads back to the host. Of an
// object, hostOwn[0] links the library's chain, hostOwn[1] holds its kind
// and hostOwn[2] and [3] link the host's list of the objects not yet freed,
// which a session cut short leaves behind.
class LeanHost {
public:
    LeanHost(ByteSource &bytes, SessionListener &listener)
        : bytes_(bytes),
          listener_(listener),
          size_(static_cast<int32_t>(std::min<uint64_t>(bytes.size(), std::numeric_limits<int32_t>::max())))
    {
        source_.hostOwn[0] = this;
        source_.fpOpen = [](HostSource *) { return int32_t{1}; };
        source_.fpRead = &LeanHost::read;
        source_.fpSeek = &LeanHost::seek;
        source_.fpTell = [](HostSource *src) { return of(src).position_; };
        source_.fpClose = [](HostSource *) {};
        source_.fpReport = [](HostSource *src, const char *text, int32_t) {
            if (text != nullptr)
                of(src).listener_.report(text);
        };

        services_.hostOwn[0] = this;
        services_.PubSnormalmalloc = [](HostServices *, uint32_t count, uint32_t size) {
            return std::calloc(count, size);
        };
        services_.PubSrealloc = [](HostServices *, void *block, uint32_t size) { return std::realloc(block, size); };
        services_.PubSfree = [](HostServices *, void *block) { std::free(block); };
        services_.fpCreateObject = &LeanHost::create;
        services_.fpAppendObject = &LeanHost::append;
        services_.fpDeliverObjects = &LeanHost::deliver;
        params_.services = &services_;
        params_.hostValue = HostOptions{}.hostValue;
    }

    LeanHost(const LeanHost &) = delete;
    LeanHost &operator=(const LeanHost &) = delete;
    ~LeanHost()
    {
        while (live_ != nullptr)
            release(live_);
    }

    LeanOutcome run(const EntryPoints &entry)
    {
        DWGSessionHeader *session = entry.start(&source_, &params_);
        if (session == nullptr) {
            outcome_.refused = true;
            return outcome_;
        }
        while (!outcome_.endSeen && !outcome_.stopped && entry.next(session) != 0) {
        }
        entry.shutDown(session);
        return outcome_;
    }

private:
    static LeanHost &of(HostSource *src) { return *static_cast<LeanHost *>(src->hostOwn[0]); }
    static LeanHost &of(HostServices *svc) { return *static_cast<LeanHost *>(svc->hostOwn[0]); }
    static int32_t kindOf(const DWGOutputObject *object)
    {
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(object->hostOwn[1]));
    }
    static DWGOutputObject *&previous(DWGOutputObject *object)
    {
        return reinterpret_cast<DWGOutputObject *&>(object->hostOwn[2]);
    }
    static DWGOutputObject *&following(DWGOutputObject *object)
    {
        return reinterpret_cast<DWGOutputObject *&>(object->hostOwn[3]);
    }

    static int32_t read(HostSource *src, void *buffer, int32_t count)
    {
        LeanHost &host = of(src);
        const int32_t wanted = std::min(count, host.size_ - host.position_);
        if (wanted <= 0 || buffer == nullptr)
            return 0;
        const int64_t n = host.bytes_.readAt(static_cast<uint64_t>(host.position_), buffer,
                                             static_cast<std::size_t>(wanted));
        if (n <= 0)
            return n < 0 ? -1 : 0;
        host.position_ += static_cast<int32_t>(n);
        return static_cast<int32_t>(n);
    }

    static int32_t seek(HostSource *src, int32_t offset, int32_t origin)
    {
        LeanHost &host = of(src);
        if (origin < 0 || origin > 2)
            return 0;
        const int64_t base = origin == 0 ? 0 : origin == 1 ? host.position_ : host.size_;
        const int64_t target = base + offset;
        if (target < 0 || target > host.size_)
            return 0;
        host.position_ = static_cast<int32_t>(target);
        return 1;
    }

    static DWGOutputObject *create(HostServices *svc, int32_t kind)
    {
        LeanHost &host = of(svc);
        auto *object = static_cast<DWGOutputObject *>(std::calloc(1, sizeof(DWGOutputObject)));
        if (object == nullptr)
            return nullptr;
        object->hostOwn[1] = reinterpret_cast<void *>(static_cast<intptr_t>(kind));
        following(object) = host.live_;
        if (host.live_ != nullptr)
            previous(host.live_) = object;
        host.live_ = object;
        return object;
    }

    void release(DWGOutputObject *object)
    {
        (previous(object) != nullptr ? following(previous(object)) : live_) = following(object);
        if (following(object) != nullptr)
            previous(following(object)) = previous(object);
        if (kindOf(object) == DWG_OBJECT_TEXT)
            std::free(object->text);
        std::free(object);
    }

    void passOn(const DWGOutputObject *object)
    {
        if (kindOf(object) == DWG_OBJECT_END) {
            outcome_.endSeen = true;
        } else if (kindOf(object) == DWG_OBJECT_TEXT) {
            ++outcome_.texts;
            const bool hasBytes = object->length > 0 && object->text != nullptr;
            const std::string_view bytes(static_cast<const char *>(object->text),
                                         hasBytes ? static_cast<std::size_t>(object->length) : 0);
            outcome_.stopped = !listener_.text(object->charset, bytes) || outcome_.stopped;
        }
    }

    // The chain is only ever appended to and emptied by delivery, so the
    // host keeps its tail instead of walking it.
    static void append(HostServices *svc, DWGOutputObject **head, DWGOutputObject *object, int32_t)
    {
        LeanHost &host = of(svc);
        object->hostOwn[0] = nullptr;
        if (*head == nullptr)
            *head = object;
        else
            host.tail_->hostOwn[0] = object;
        host.tail_ = object;
        host.passOn(object);
    }

    static int32_t deliver(HostServices *svc, DWGOutputObject **head, int32_t)
    {
        LeanHost &host = of(svc);
        for (DWGOutputObject *object = *head; object != nullptr;) {
            DWGOutputObject *next = static_cast<DWGOutputObject *>(object->hostOwn[0]);
            host.release(object);
            object = next;
        }
        *head = nullptr;
        host.tail_ = nullptr;
        return 1;
    }

    ByteSource &bytes_;
    SessionListener &listener_;
    HostSource source_{};
    HostServices services_{};
    HostOpenParams params_{};
    int32_t size_;
    int32_t position_ = 0;
    DWGOutputObject *tail_ = nullptr;
    DWGOutputObject *live_ = nullptr;
    LeanOutcome outcome_;
};

}  // namespace

LeanOutcome runLeanSession(ByteSource &bytes, SessionListener &listener, const EntryPoints &entry)
{
    return LeanHost(bytes, listener).run(entry);
}

}  // namespace tqhost
