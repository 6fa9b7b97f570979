// The messages the library reports are formatted by our own routine: it
// must give what the C library's vsnprintf gives for every conversion the
// messages use, cut the same way to every buffer size.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/dwgglobal.h"
#include "core/messages.h"

namespace {

std::string formatted(size_t size, const char *format, ...)
{
    std::string buffer(size + 1, '#');
    va_list arguments;
    va_start(arguments, format);
    formatMessage(buffer.data(), size, format, arguments);
    va_end(arguments);
    EXPECT_EQ(buffer[size], '#') << "nothing is written past the buffer";
    return buffer.substr(0, buffer.find('\0'));
}

template <class... Arguments>
void expectLikeSnprintf(const char *format, Arguments... arguments)
{
    char whole[256];
    const int length = std::snprintf(whole, sizeof whole, format, arguments...);
    for (size_t size = 1; size <= static_cast<size_t>(length) + 2; ++size) {
        char reference[256];
        std::snprintf(reference, size, format, arguments...);
        EXPECT_EQ(formatted(size, format, arguments...), reference) << format << ", buffer of " << size;
    }
}

TEST(Messages, FormattedAsTheCLibraryFormatsThem)
{
    for (unsigned type : {0u, 9u, 0x219u, 0xFFFFu, UINT_MAX}) {
        expectLikeSnprintf(msg::kUnknownObjectType, type);
    }
    for (int line : {0, 7, -1, 4096, INT_MAX, INT_MIN}) {
        expectLikeSnprintf(msg::kGetDWGText, "getDWGobjects", line);
    }
    expectLikeSnprintf(msg::kVersionNotSupported, "AC1021", "switchDWGfuncs", 88);
    expectLikeSnprintf("100%% [%s]", "");
    EXPECT_EQ(formatted(64, "[%s]", static_cast<const char *>(nullptr)), "[(null)]");
}

}  // namespace
