#include "core/properties.h"

#include <cstring>

#include "TQDUDADE.h"

// UTF-16 comes little-endian, as drawings store it, and is kept high byte
// first, as texts are handed on.
void DrawingProperties::keep(PropertyText *text, const uint8_t *bytes, uint32_t length, int32_t charset)
{
    if (length > kPoolSize - used) {
        capped = true;
        return;
    }
    uint8_t *into = pool + used;
    if (charset == DWG_CHARSET_UTF16BE) {
        for (uint32_t i = 0; i + 1 < length; i += 2) {
            into[i] = bytes[i + 1];
            into[i + 1] = bytes[i];
        }
    } else if (length != 0) {
        memcpy(into, bytes, length);
    }
    *text = PropertyText{used, length, charset, true};
    used += length;
}
