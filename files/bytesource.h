// A drawing's bytes as our own programs hold them: a file read where it is
// asked for, a file mapped into memory, or bytes already in memory.
#ifndef DWGFILES_BYTESOURCE_H
#define DWGFILES_BYTESOURCE_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace dwgfiles {

// A drawing's bytes, read at any position.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Copies up to count bytes from offset on into buffer: the number
    // copied, 0 past the end, -1 when the bytes could not be read.
    virtual int64_t readAt(uint64_t offset, void *buffer, std::size_t count) = 0;
    // All the bytes, when they are held in memory; null when they are not.
    virtual const uint8_t *inMemory() const { return nullptr; }
    // The library reads the count bytes from offset on, held in memory, no
    // more for now: a source that maps a file may give their pages back.
    // They stay readable.
    virtual void letGo(uint64_t, std::size_t) {}
    // Whether the bytes changed while they were read: the file was cut
    // short under a mapping of it.
    virtual bool changedWhileRead() const { return false; }
};

// Bytes already in memory; they are not copied.
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override;
    const uint8_t *inMemory() const override { return bytes_.data(); }

private:
    std::span<const uint8_t> bytes_;
};

}  // namespace dwgfiles

#endif
