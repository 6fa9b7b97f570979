#include "lean_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "TQDUDADE.h"

namespace dwgbench {

namespace {

// hostOwn[0] of the source and the services leads back to the host;
// hostOwn[0] of an object links the chain and hostOwn[1] holds its kind.
class LeanHost {
public:
    explicit LeanHost(const std::vector<uint8_t> &bytes)
        : data_(bytes.data()),
          size_(static_cast<int32_t>(std::min<std::size_t>(bytes.size(), std::numeric_limits<int32_t>::max())))
    {
        source_.hostOwn[0] = this;
        source_.fpOpen = [](HostSource *) { return int32_t{1}; };
        source_.fpRead = &LeanHost::read;
        source_.fpSeek = &LeanHost::seek;
        source_.fpTell = [](HostSource *src) { return of(src).position_; };
        source_.fpClose = [](HostSource *) {};
        source_.fpReport = [](HostSource *, const char *, int32_t) {};

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
    }

    LeanOutcome run()
    {
        DWGSessionHeader *session = startSrcDWG(&source_, &params_);
        if (session == nullptr) {
            return outcome_;
        }
        while (!outcome_.endSeen && getDWGobject(session) != 0) {
        }
        shutDownDWGsrc(session);
        return outcome_;
    }

private:
    static LeanHost &of(HostSource *src) { return *static_cast<LeanHost *>(src->hostOwn[0]); }
    static LeanHost &of(HostServices *svc) { return *static_cast<LeanHost *>(svc->hostOwn[0]); }
    static int32_t kindOf(const DWGOutputObject *object)
    {
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(object->hostOwn[1]));
    }

    static int32_t read(HostSource *src, void *buffer, int32_t count)
    {
        LeanHost &host = of(src);
        const int32_t n = std::min(count, host.size_ - host.position_);
        if (n <= 0) {
            return 0;
        }
        std::memcpy(buffer, host.data_ + host.position_, static_cast<std::size_t>(n));
        host.position_ += n;
        return n;
    }

    static int32_t seek(HostSource *src, int32_t offset, int32_t origin)
    {
        LeanHost &host = of(src);
        const int64_t base = origin == 0 ? 0 : origin == 1 ? host.position_ : host.size_;
        const int64_t target = base + offset;
        if (target < 0 || target > host.size_) {
            return 0;
        }
        host.position_ = static_cast<int32_t>(target);
        return 1;
    }

    static DWGOutputObject *create(HostServices *, int32_t kind)
    {
        auto *object = static_cast<DWGOutputObject *>(std::calloc(1, sizeof(DWGOutputObject)));
        if (object != nullptr) {
            object->hostOwn[1] = reinterpret_cast<void *>(static_cast<intptr_t>(kind));
        }
        return object;
    }

    // The chain is only ever appended to and emptied by delivery, so the
    // host keeps its tail instead of walking it.
    static void append(HostServices *svc, DWGOutputObject **head, DWGOutputObject *object, int32_t)
    {
        LeanHost &host = of(svc);
        object->hostOwn[0] = nullptr;
        if (*head == nullptr) {
            *head = object;
        } else {
            host.tail_->hostOwn[0] = object;
        }
        host.tail_ = object;
    }

    static int32_t deliver(HostServices *svc, DWGOutputObject **head, int32_t)
    {
        LeanHost &host = of(svc);
        for (DWGOutputObject *object = *head; object != nullptr;) {
            DWGOutputObject *next = static_cast<DWGOutputObject *>(object->hostOwn[0]);
            if (kindOf(object) == DWG_OBJECT_TEXT) {
                ++host.outcome_.texts;
                std::free(object->text);
            }
            host.outcome_.endSeen = host.outcome_.endSeen || kindOf(object) == DWG_OBJECT_END;
            std::free(object);
            object = next;
        }
        *head = nullptr;
        host.tail_ = nullptr;
        return 1;
    }

    HostSource source_{};
    HostServices services_{};
    HostOpenParams params_{};
    const uint8_t *data_;
    int32_t size_;
    int32_t position_ = 0;
    DWGOutputObject *tail_ = nullptr;
    LeanOutcome outcome_;
};

}  // namespace

LeanOutcome runLeanSession(const std::vector<uint8_t> &bytes) { return LeanHost(bytes).run(); }

}  // namespace dwgbench
