#include "host_lean.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>


namespace tqhost {

// hostOwn[0] of the source and the services leads back to the host. Of an
// object, hostOwn[0] links the library's chain (or, once delivered, the
// spare list), hostOwn[1] holds its kind and hostOwn[2] and [3] link the
// host's list of the objects not yet delivered, which a session cut short
// leaves behind.
//
// The library calls the host from code built without exceptions, so no
// exception may leave a host operation: a text or report that cannot be
// kept is noted, and next() throws once the library has returned.
class LeanSession::Host final {
public:
    Host(ByteSource &bytes, ReportSink &reports, const EntryPoints &library)
        : bytes_(bytes),
          reports_(reports),
          library_(library),
          size_(static_cast<int32_t>(std::min<uint64_t>(bytes.size(), std::numeric_limits<int32_t>::max())))
    {
        source_.hostOwn[0] = this;
        source_.fpOpen = [](HostSource *) { return int32_t{1}; };
        source_.fpRead = &Host::read;
        source_.fpSeek = &Host::seek;
        source_.fpTell = [](HostSource *src) { return of(src).position_; };
        source_.fpClose = [](HostSource *) {};
        source_.fpReport = &Host::report;

        services_.hostOwn[0] = this;
        services_.PubSnormalmalloc = &Host::zeroedBlock;
        services_.PubSrealloc = [](HostServices *, void *block, uint32_t size) { return std::realloc(block, size); };
        services_.PubSfree = [](HostServices *, void *block) { std::free(block); };
        services_.fpCreateObject = &Host::create;
        services_.fpAppendObject = &Host::append;
        services_.fpDeliverObjects = &Host::deliver;
        params_.services = &services_;
        params_.hostValue = HostOptions{}.hostValue;
    }

    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;
    ~Host()
    {
        shutDown();
        while (live_ != nullptr)
            release(live_);
        while (spare_ != nullptr) {
            DWGOutputObject *next = static_cast<DWGOutputObject *>(spare_->hostOwn[0]);
            std::free(spare_);
            spare_ = next;
        }
    }

    bool start()
    {
        session_ = library_.start(&source_, &params_);
        throwIfOutOfMemory();
        return session_ != nullptr;
    }

    const LeanText *next()
    {
        if (taken_ == pending_) {
            taken_ = pending_ = 0;
            while (pending_ == 0 && !libraryDone()) {
                readOn();
                throwIfOutOfMemory();
            }
        }
        if (taken_ < pending_)
            return &texts_[taken_++];
        shutDown();
        return nullptr;
    }

    bool endSeen() const { return endSeen_; }

private:
    static Host &of(HostSource *src) { return *static_cast<Host *>(src->hostOwn[0]); }
    static Host &of(HostServices *svc) { return *static_cast<Host *>(svc->hostOwn[0]); }
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

    bool libraryDone() const { return session_ == nullptr || endSeen_ || answeredZero_; }

    void readOn() { answeredZero_ = library_.next(session_) == 0; }

    void shutDown()
    {
        if (session_ == nullptr)
            return;
        library_.shutDown(session_);
        session_ = nullptr;
    }

    void throwIfOutOfMemory() const
    {
        if (outOfMemory_)
            throw std::bad_alloc();
    }

    // Blocks come zero-filled. They are taken with malloc and cleared
    // rather than with calloc, which glibc serves without its per-thread
    // cache: the library takes and frees two small blocks per text.
    static void *zeroedBlock(HostServices *, uint32_t count, uint32_t size)
    {
        const uint64_t bytes = static_cast<uint64_t>(count) * size;
        if (bytes > std::numeric_limits<std::size_t>::max())
            return nullptr;
        void *block = std::malloc(static_cast<std::size_t>(bytes));
        if (block != nullptr)
            std::memset(block, 0, static_cast<std::size_t>(bytes));
        return block;
    }

    static void report(HostSource *src, const char *text, int32_t)
    {
        Host &host = of(src);
        if (text == nullptr)
            return;
        try {
            host.reports_.report(text);
        } catch (...) {
            host.outOfMemory_ = true;
        }
    }

    static int32_t read(HostSource *src, void *buffer, int32_t count)
    {
        Host &host = of(src);
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
        Host &host = of(src);
        if (origin < 0 || origin > 2)
            return 0;
        const int64_t base = origin == 0 ? 0 : origin == 1 ? host.position_ : host.size_;
        const int64_t target = base + offset;
        if (target < 0 || target > host.size_)
            return 0;
        host.position_ = static_cast<int32_t>(target);
        return 1;
    }

    // Objects go back to a spare list when delivered and are made again
    // from it, so that a session takes from the heap only as many as one
    // call of getDWGobject ever holds.
    static DWGOutputObject *create(HostServices *svc, int32_t kind)
    {
        Host &host = of(svc);
        DWGOutputObject *object = host.spare_;
        if (object != nullptr) {
            host.spare_ = static_cast<DWGOutputObject *>(object->hostOwn[0]);
            *object = DWGOutputObject{};
        } else {
            object = static_cast<DWGOutputObject *>(std::calloc(1, sizeof(DWGOutputObject)));
        }
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
        object->hostOwn[0] = spare_;
        spare_ = object;
    }

    // Texts are copied as they are appended, into entries kept from one
    // object to the next so that their buffers are reused.
    void keep(const void *text, int32_t length, int32_t charset)
    {
        const bool hasBytes = length > 0 && text != nullptr;
        const std::string_view bytes(static_cast<const char *>(text), hasBytes ? static_cast<std::size_t>(length) : 0);
        try {
            if (pending_ == texts_.size())
                texts_.emplace_back();
            texts_[pending_].charset = charset;
            texts_[pending_].bytes.assign(bytes);
            ++pending_;
        } catch (...) {
            outOfMemory_ = true;
        }
    }

    void passOn(const DWGOutputObject *object)
    {
        if (kindOf(object) == DWG_OBJECT_END)
            endSeen_ = true;
        else if (kindOf(object) == DWG_OBJECT_TEXT)
            keep(object->text, object->length, object->charset);
    }

    // The chain is only ever appended to and emptied by delivery, so the
    // host keeps its tail instead of walking it.
    static void append(HostServices *svc, DWGOutputObject **head, DWGOutputObject *object, int32_t)
    {
        Host &host = of(svc);
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
        Host &host = of(svc);
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
    ReportSink &reports_;
    EntryPoints library_;
    HostSource source_{};
    HostServices services_{};
    HostOpenParams params_{};
    DWGSessionHeader *session_ = nullptr;
    int32_t size_;
    int32_t position_ = 0;
    DWGOutputObject *tail_ = nullptr;
    DWGOutputObject *live_ = nullptr;
    DWGOutputObject *spare_ = nullptr;
    std::vector<LeanText> texts_;
    std::size_t pending_ = 0;  // texts_ filled by the last getDWGobject call
    std::size_t taken_ = 0;    // of them, handed out
    bool endSeen_ = false;
    bool answeredZero_ = false;
    bool outOfMemory_ = false;
};

LeanSession::LeanSession(ByteSource &bytes, ReportSink &reports, const EntryPoints &library)
    : host_(std::make_unique<Host>(bytes, reports, library))
{
}

LeanSession::~LeanSession() = default;

bool LeanSession::start() { return host_->start(); }

const LeanText *LeanSession::next() { return host_->next(); }

bool LeanSession::endSeen() const { return host_->endSeen(); }

LeanOutcome runLeanSession(ByteSource &bytes, SessionListener &listener, const EntryPoints &library)
{
    LeanOutcome outcome;
    LeanSession session(bytes, listener, library);
    if (!session.start()) {
        outcome.refused = true;
        return outcome;
    }
    while (const LeanText *text = session.next()) {
        ++outcome.texts;
        if (!listener.text(text->charset, text->bytes)) {
            outcome.stopped = true;
            break;
        }
    }
    outcome.endSeen = session.endSeen();
    return outcome;
}

}  // namespace tqhost
