#include "intake.h"

#include <microhttpd.h>

#include <array>

namespace dwgserver {

namespace {

// What a multipart body may carry besides the file: its boundaries, the
// parts' heads and small fields.
constexpr uint64_t kMultipartAllowance = 64 * 1024;
constexpr std::size_t kPartBuffer = 64 * 1024;

}  // namespace

Intake::Intake(uint64_t limit, std::string_view encoding, MHD_Connection *multipartOf) : limit_(limit)
{
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
        inflater_.emplace();
        *inflater_ = {};
        // 32 more than the window size: a gzip or a zlib stream, by its head.
        if (inflateInit2(&*inflater_, 15 + 32) != Z_OK) {
            inflater_.reset();
            fail(500, "cannot start decompressing");
        }
    } else if (!encoding.empty() && encoding != "identity") {
        fail(415, "the content coding '" + std::string(encoding) + "' is not taken (gzip and deflate are)");
    }
    if (multipartOf != nullptr) {
        parts_ = MHD_create_post_processor(
            multipartOf, kPartBuffer,
            [](void *self, MHD_ValueKind kind, const char *key, const char *filename, const char *type,
               const char *coding, const char *data, uint64_t offset, size_t size) {
                return onPart(self, kind, key, filename, type, coding, data, offset, size) != 0 ? MHD_YES : MHD_NO;
            },
            this);
        if (parts_ == nullptr)
            fail(415, "the body is not multipart/form-data with a boundary");
    }
    if (!spool_.error().empty())
        fail(500, spool_.error());
}

Intake::~Intake()
{
    if (inflater_)
        inflateEnd(&*inflater_);
    if (parts_ != nullptr)
        MHD_destroy_post_processor(parts_);
}

void Intake::fail(int status, std::string reason)
{
    if (status_ == 0) {
        status_ = status;
        reason_ = std::move(reason);
    }
}

uint64_t Intake::wireLimit() const
{
    return limit_ + (parts_ != nullptr ? kMultipartAllowance : 0);
}

void Intake::feed(const char *data, std::size_t size)
{
    received_ += size;
    if (received_ > wireLimit())
        fail(413, "the body is larger than " + std::to_string(limit_) + " bytes");
    if (status_ != 0)
        return;
    if (!inflater_)
        return decoded(data, size);
    z_stream &z = *inflater_;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
    z.avail_in = static_cast<uInt>(size);
    std::array<char, 64 * 1024> out;
    while (z.avail_in > 0 && !inflated_ && status_ == 0) {
        z.next_out = reinterpret_cast<Bytef *>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return fail(400, "the compressed body is damaged");
        inflated_ = result == Z_STREAM_END;
        decoded(out.data(), out.size() - z.avail_out);
    }
}

void Intake::decoded(const char *data, std::size_t size)
{
    if (parts_ == nullptr)
        return store(data, size);
    if (MHD_post_process(parts_, data, size) != MHD_YES)
        fail(400, "the multipart body is malformed");
}

void Intake::store(const char *data, std::size_t size)
{
    if (spool_.size() + size > limit_)
        return fail(413, "the body is larger than " + std::to_string(limit_) + " bytes");
    if (!spool_.append(data, size))
        fail(500, spool_.error());
}

int Intake::onPart(void *self, int, const char *key, const char *filename, const char *, const char *,
                   const char *data, uint64_t, std::size_t size)
{
    Intake &intake = *static_cast<Intake *>(self);
    const std::string_view name = key != nullptr ? key : "";
    if (!intake.partSeen_) {
        intake.partSeen_ = true;
        intake.partKey_ = name;
        intake.partName_ = filename != nullptr ? filename : "";
    }
    if (name == intake.partKey_)
        intake.store(data, size);
    return intake.status_ == 0;
}

void Intake::finish()
{
    if (status_ != 0)
        return;
    if (inflater_ && !inflated_)
        return fail(400, "the compressed body ended early");
    if (parts_ != nullptr) {
        const bool whole = MHD_destroy_post_processor(parts_) == MHD_YES;
        parts_ = nullptr;
        if (!whole || !partSeen_)
            fail(400, "the multipart body holds no whole part");
    }
}

}  // namespace dwgserver
