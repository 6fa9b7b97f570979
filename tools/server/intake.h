// A request body on its way into the spool, decoded as it arrives: the
// content coding (gzip or deflate) undone, and of a multipart/form-data
// body the first part kept. Every byte counts against the limit as it
// comes, both as sent and as decoded, so that neither a chunked body nor a
// compressed one can grow past it.
#ifndef DWGTEXT_SERVER_INTAKE_H
#define DWGTEXT_SERVER_INTAKE_H

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "spool.h"

struct MHD_Connection;
struct MHD_PostProcessor;

namespace dwgserver {

class Intake {
public:
    // The body's Content-Encoding (empty: none); a multipart body's parts are
    // read by the HTTP library from the connection's Content-Type.
    Intake(uint64_t limit, std::string_view encoding, MHD_Connection *multipartOf);
    Intake(const Intake &) = delete;
    Intake &operator=(const Intake &) = delete;
    ~Intake();

    // 0 when the intake can go on, else the status of the answer: 415 for a
    // coding or a body type we do not take, 413 past the limit, 400 for a
    // body that is not what its headers say, 500 when it cannot be stored.
    int status() const { return status_; }
    const std::string &reason() const { return reason_; }

    void feed(const char *data, std::size_t size);
    // The body has ended.
    void finish();

    BodySpool &spool() { return spool_; }
    // The file name the multipart part gave, if any.
    const std::string &partName() const { return partName_; }
    uint64_t received() const { return received_; }
    // More has come, as sent or as decoded, than the limit allows.
    bool overLimit() const { return status_ == 413 || received_ > wireLimit(); }

private:
    uint64_t wireLimit() const;
    void decoded(const char *data, std::size_t size);
    void store(const char *data, std::size_t size);
    void fail(int status, std::string reason);
    static int onPart(void *self, int kind, const char *key, const char *filename, const char *type,
                      const char *encoding, const char *data, uint64_t offset, std::size_t size);

    uint64_t limit_;
    uint64_t received_ = 0;
    std::optional<z_stream> inflater_;
    bool inflated_ = false;  // the compressed stream has ended
    MHD_PostProcessor *parts_ = nullptr;
    std::string partKey_;  // the first part's name: the parts after it are left
    bool partSeen_ = false;
    std::string partName_;
    BodySpool spool_;
    int status_ = 0;
    std::string reason_;
};

}  // namespace dwgserver

#endif
