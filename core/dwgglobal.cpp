#include "core/dwgglobal.h"

#include <cstdarg>
#include <cstdio>

void reportf(DWGglobal *session, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(session->message, sizeof session->message, format, arguments);
    va_end(arguments);
    reportToHost(session->header.source, session->message);
}

void reportToHost(HostSource *source, const char *text)
{
    if (source != nullptr && source->fpReport != nullptr) {
        source->fpReport(source, text, 0);
    }
}

DWGOutputObject *createObject(DWGglobal *session, int32_t kind)
{
    HostServices *services = session->header.services;
    session->lastObject = services->fpCreateObject == nullptr ? nullptr : services->fpCreateObject(services, kind);
    return session->lastObject;
}

void appendObject(DWGglobal *session, DWGOutputObject *object)
{
    HostServices *services = session->header.services;
    if (services->fpAppendObject != nullptr) {
        services->fpAppendObject(services, &session->chainHead, object, -1);
    }
}

bool appendTextOpen(DWGglobal *session)
{
    DWGOutputObject *object = createObject(session, DWG_OBJECT_TEXT_OPEN);
    if (object == nullptr) {
        return false;
    }
    object->openCode = DWG_TEXT_OPEN_CODE;
    appendObject(session, object);
    return true;
}

void appendText(DWGglobal *session, DWGOutputObject *object, void *buffer, int32_t length, int32_t charset)
{
    object->text = buffer;
    object->length = length;
    object->charset = charset;
    appendObject(session, object);
}

bool appendTextClose(DWGglobal *session)
{
    DWGOutputObject *object = createObject(session, DWG_OBJECT_TEXT_CLOSE);
    if (object == nullptr) {
        return false;
    }
    appendObject(session, object);
    return true;
}

bool appendEndObject(DWGglobal *session)
{
    DWGOutputObject *end = createObject(session, DWG_OBJECT_END);
    if (end == nullptr) {
        return false;
    }
    appendObject(session, end);
    return true;
}

void *hostTextBuffer(DWGglobal *session, uint32_t size)
{
    HostServices *services = session->header.services;
    return services->PubSnormalmalloc(services, 1, size);
}

void releaseHostTextBuffer(DWGglobal *session, void *buffer)
{
    HostServices *services = session->header.services;
    if (buffer != nullptr) {
        services->PubSfree(services, buffer);
    }
}
