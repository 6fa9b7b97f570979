#include "core/dwgglobal.h"

#include <cstdarg>
#include <cstring>

#include "core/messages.h"

namespace {

// Appends to a buffer of a given size, dropping what does not fit before the
// closing zero byte.
class MessageBuffer {
public:
    MessageBuffer(char *buffer, size_t size) : buffer_(buffer), room_(size - 1) {}
    ~MessageBuffer() { buffer_[used_] = '\0'; }

    void put(const char *text, size_t length)
    {
        const size_t taken = length < room_ - used_ ? length : room_ - used_;
        memcpy(buffer_ + used_, text, taken);
        used_ += taken;
    }
    void put(const char *text) { put(text, strlen(text)); }
    void put(uint32_t value, uint32_t base)
    {
        char digits[10];
        size_t first = sizeof digits;
        do {
            digits[--first] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0);
        put(digits + first, sizeof digits - first);
    }

private:
    char *buffer_;
    size_t room_;
    size_t used_ = 0;
};

}  // namespace

// Reports are frequent in real drawings (every object of a class type is
// one), and the C library's formatting is several times the work of this.
void formatMessage(char *buffer, size_t size, const char *format, va_list arguments)
{
    if (size == 0) {
        return;
    }
    MessageBuffer out(buffer, size);
    for (const char *at = format; *at != '\0';) {
        const char *conversion = strchr(at, '%');
        if (conversion == nullptr || conversion[1] == '\0') {
            out.put(at);
            return;
        }
        out.put(at, static_cast<size_t>(conversion - at));
        at = conversion + 2;
        switch (conversion[1]) {
        case 's': {
            const char *text = va_arg(arguments, const char *);
            out.put(text != nullptr ? text : "(null)");
            break;
        }
        case 'd': {
            const int32_t value = va_arg(arguments, int32_t);
            if (value < 0) {
                out.put("-", 1);
            }
            out.put(value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value), 10);
            break;
        }
        case 'x':
            out.put(va_arg(arguments, uint32_t), 16);
            break;
        default:
            out.put(conversion + 1, 1);
            break;
        }
    }
}

void reportf(DWGglobal *session, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    formatMessage(session->message, sizeof session->message, format, arguments);
    va_end(arguments);
    if (session->reports != nullptr) {
        session->reports->report(session->message);
    }
}

void reportDrawingState(DWGglobal *session, bool cutShort, bool damaged, const char *module, int32_t line)
{
    if (session->stateReported) {
        return;
    }
    session->stateReported = true;
    session->cutShort = cutShort;
    session->damaged = !cutShort && damaged;
    if (cutShort) {
        reportf(session, msg::kDrawingCutShort, module, line);
    } else if (damaged) {
        reportf(session, msg::kDrawingDamaged, module, line);
    }
}

namespace {

DWGOutputObject *createObject(DWGglobal *session, int32_t kind)
{
    HostServices *services = session->header.services;
    return services->fpCreateObject == nullptr ? nullptr : services->fpCreateObject(services, kind);
}

void appendObject(DWGglobal *session, DWGOutputObject *object)
{
    HostServices *services = session->header.services;
    if (services->fpAppendObject != nullptr) {
        services->fpAppendObject(services, &session->chainHead, object, -1);
    }
}

bool appendNewObject(DWGglobal *session, int32_t kind)
{
    DWGOutputObject *object = createObject(session, kind);
    if (object == nullptr) {
        return false;
    }
    if (kind == DWG_OBJECT_TEXT_OPEN) {
        object->openCode = DWG_TEXT_OPEN_CODE;
    }
    appendObject(session, object);
    return true;
}

}  // namespace

DWGOutputObject *beginTextGroup(DWGglobal *session)
{
    if (session->sink != nullptr) {
        return &session->sinkText;
    }
    return appendNewObject(session, DWG_OBJECT_TEXT_OPEN) ? createObject(session, DWG_OBJECT_TEXT) : nullptr;
}

bool textToSink(DWGglobal *session, const void *bytes, int32_t length, int32_t charset, TextKind kind)
{
    if (session->sink == nullptr) {
        return false;
    }
    session->sink->text(bytes, length, charset, kind);
    ++session->textsToSink;
    return true;
}

bool endTextGroup(DWGglobal *session, DWGOutputObject *text, void *buffer, int32_t length, int32_t charset,
                  TextKind kind)
{
    if (textToSink(session, buffer, length, charset, kind)) {
        return true;
    }
    text->text = buffer;
    text->length = length;
    text->charset = charset;
    appendObject(session, text);
    return appendNewObject(session, DWG_OBJECT_TEXT_CLOSE);
}

bool appendEndObject(DWGglobal *session)
{
    if (session->sink != nullptr) {
        session->ended = true;
        return true;
    }
    return appendNewObject(session, DWG_OBJECT_END);
}

void *hostTextBuffer(DWGglobal *session, uint32_t size)
{
    if (session->sink != nullptr) {
        void *buffer = session->sinkBuffer.reserve(session->memory, size);
        return buffer == nullptr ? nullptr : memset(buffer, 0, size);
    }
    HostServices *services = session->header.services;
    return services->PubSnormalmalloc(services, 1, size);
}

void releaseHostTextBuffer(DWGglobal *session, void *buffer)
{
    HostServices *services = session->header.services;
    if (buffer != nullptr && session->sink == nullptr) {
        services->PubSfree(services, buffer);
    }
}
