#include "codepage.h"

#include <iterator>

#include "core/codepages.h"

namespace dwgtext {

namespace {

// What iconv calls each code page of the drawings' table, by its number.
constexpr std::string_view kIconvNames[] = {
    "", "ASCII", "ISO-8859-1", "ISO-8859-2", "ISO-8859-3", "ISO-8859-4", "ISO-8859-5", "ISO-8859-6", "ISO-8859-7",
    "ISO-8859-8", "ISO-8859-9", "CP437", "CP850", "CP852", "CP855", "CP857", "CP860", "CP861", "CP863", "CP864",
    "CP865", "CP869", "CP932", "MACINTOSH", "BIG5", "EUC-KR", "JOHAB", "CP866", "CP1250", "CP1251", "CP1252", "GBK",
    "CP1253", "CP1254", "CP1255", "CP1256", "CP1257", "CP874", "CP932", "CP936", "CP949", "CP950", "JOHAB",
    "UTF-16LE", "CP1258",
};
static_assert(std::size(kIconvNames) == kCodePageCount);

}  // namespace

std::string_view codePageName(int32_t number)
{
    if (number < 0 || number >= kCodePageCount)
        return {};
    return kCodePageNames[number];
}

std::string iconvNameFor(std::string_view name)
{
    const int32_t number = codePageNumber(reinterpret_cast<const uint8_t *>(name.data()),
                                          static_cast<int32_t>(name.size()));
    if (number > 0)
        return std::string(kIconvNames[number]);
    std::string candidate(name);
    if (candidate.empty() || !converterKnows(candidate))
        return {};
    return candidate;
}

bool pageKeepsAscii(std::string_view iconvName)
{
    return iconvName.starts_with("CP125") || iconvName.starts_with("ISO-8859-");
}

std::string drawingCodePage(int32_t recorded)
{
    const std::string_view name = codePageName(recorded);
    return iconvNameFor(name.empty() ? kDefaultCodePage : name);
}

}  // namespace dwgtext
