#include "mappedfiles.h"

#ifdef _WIN32

namespace dwgfiles {

bool guardMappedFiles() { return false; }

std::unique_ptr<ByteSource> mapRegularFile(int, uint64_t) { return nullptr; }

}  // namespace dwgfiles

#else

#include <atomic>
#include <csignal>
#include <span>

#include <sys/mman.h>
#include <unistd.h>

namespace dwgfiles {

namespace {

// The mappings the guard watches, one slot each. A slot is claimed by the
// thread that maps a file and is read by the fault handler, which runs on
// the thread whose read faulted: that thread filled its slot before its
// first read.
struct GuardedMapping {
    std::atomic<bool> claimed{false};
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> faulted{false};
    std::atomic<uintptr_t> lastPage{0};  // the page last given zeros
};

constexpr std::size_t kGuardedMappings = 64;
GuardedMapping guarded[kGuardedMappings];
std::atomic<bool> guardInstalled{false};
uintptr_t pageSize = 4096;

// A read past the end of a watched mapping's file gets a page of zeros in
// place of the file's lost page, and is made again: true when the page at
// address was so replaced. A page that faults again after it was given
// zeros was not replaced (user-mode emulators keep the file's page), and
// is left to end the process rather than fault for ever. mmap is a plain
// system call here, safe in a handler as the calls POSIX lists are.
bool zeroLostPage(uintptr_t address)
{
    const uintptr_t page = address & ~(pageSize - 1);
    for (GuardedMapping &mapping : guarded) {
        if (address >= mapping.start.load() && address < mapping.end.load() &&
            mapping.lastPage.exchange(page) != page) {
            mapping.faulted.store(true);
            void *zeros = reinterpret_cast<void *>(page);
            return mmap(zeros, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED;
        }
    }
    return false;
}

// A fault's code is positive (BUS_ADRERR from the kernel; emulators may say
// BUS_ADRALN); a signal sent by a process has none, and no address. Any
// SIGBUS that is not a watched file's lost page is not ours: the default
// action is put back and the signal raised again, to end the process as it
// would have.
void onBusError(int, siginfo_t *info, void *)
{
    if (info->si_code > 0 && zeroLostPage(reinterpret_cast<uintptr_t>(info->si_addr)))
        return;
    std::signal(SIGBUS, SIG_DFL);
    std::raise(SIGBUS);
}

GuardedMapping *claimSlot()
{
    for (GuardedMapping &mapping : guarded) {
        if (!mapping.claimed.exchange(true))
            return &mapping;
    }
    return nullptr;
}

class MappedBytes final : public ByteSource {
public:
    MappedBytes(const uint8_t *bytes, uint64_t size, GuardedMapping &slot)
        : view_(std::span<const uint8_t>(bytes, static_cast<std::size_t>(size))), slot_(slot)
    {
        slot_.faulted.store(false);
        slot_.lastPage.store(0);
        slot_.start.store(reinterpret_cast<uintptr_t>(bytes));
        slot_.end.store(reinterpret_cast<uintptr_t>(bytes) + size);
    }
    MappedBytes(const MappedBytes &) = delete;
    MappedBytes &operator=(const MappedBytes &) = delete;
    // The slot is emptied first: a mapping another thread makes at the same
    // addresses afterwards has a slot of its own.
    ~MappedBytes() override
    {
        slot_.end.store(0);
        slot_.start.store(0);
        munmap(const_cast<uint8_t *>(view_.inMemory()), static_cast<std::size_t>(view_.size()));
        slot_.claimed.store(false);
    }

    uint64_t size() const override { return view_.size(); }
    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override
    {
        return view_.readAt(offset, buffer, count);
    }
    const uint8_t *inMemory() const override { return view_.inMemory(); }
    // The whole pages among the bytes go; read again, they come back from
    // the file.
    void letGo(uint64_t offset, std::size_t count) override
    {
        const uintptr_t start = reinterpret_cast<uintptr_t>(view_.inMemory()) + offset;
        const uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
        const uintptr_t end = (start + count) & ~(pageSize - 1);
        if (first < end)
            madvise(reinterpret_cast<void *>(first), end - first, MADV_DONTNEED);
    }
    bool changedWhileRead() const override { return slot_.faulted.load(); }

private:
    MemoryBytes view_;
    GuardedMapping &slot_;
};

}  // namespace

bool guardMappedFiles()
{
    if (guardInstalled.load())
        return true;
    pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = &onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGBUS, &action, nullptr) != 0)
        return false;
    guardInstalled.store(true);
    return true;
}

std::unique_ptr<ByteSource> mapRegularFile(int descriptor, uint64_t size)
{
    if (!guardInstalled.load() || size == 0 || size > SIZE_MAX)
        return nullptr;
    GuardedMapping *slot = claimSlot();
    if (slot == nullptr)
        return nullptr;
    void *bytes = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (bytes == MAP_FAILED) {
        slot->claimed.store(false);
        return nullptr;
    }
    return std::make_unique<MappedBytes>(static_cast<const uint8_t *>(bytes), size, *slot);
}

}  // namespace dwgfiles

#endif
