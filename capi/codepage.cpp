#include "codepage.h"

#include <iterator>
#include <strings.h>

namespace dwgtext {

namespace {

struct CodePage {
    std::string_view name;   // as drawings name it
    std::string_view iconv;  // what iconv calls it
};

// Indexed by the number a drawing records; entry 0 is "undefined".
constexpr CodePage kCodePages[] = {
    {"", ""},
    {"ASCII", "ASCII"},
    {"ISO8859_1", "ISO-8859-1"},
    {"ISO8859_2", "ISO-8859-2"},
    {"ISO8859_3", "ISO-8859-3"},
    {"ISO8859_4", "ISO-8859-4"},
    {"ISO8859_5", "ISO-8859-5"},
    {"ISO8859_6", "ISO-8859-6"},
    {"ISO8859_7", "ISO-8859-7"},
    {"ISO8859_8", "ISO-8859-8"},
    {"ISO8859_9", "ISO-8859-9"},
    {"DOS437", "CP437"},
    {"DOS850", "CP850"},
    {"DOS852", "CP852"},
    {"DOS855", "CP855"},
    {"DOS857", "CP857"},
    {"DOS860", "CP860"},
    {"DOS861", "CP861"},
    {"DOS863", "CP863"},
    {"DOS864", "CP864"},
    {"DOS865", "CP865"},
    {"DOS869", "CP869"},
    {"DOS932", "CP932"},
    {"MACINTOSH", "MACINTOSH"},
    {"BIG5", "BIG5"},
    {"KSC5601", "EUC-KR"},
    {"JOHAB", "JOHAB"},
    {"DOS866", "CP866"},
    {"ANSI_1250", "CP1250"},
    {"ANSI_1251", "CP1251"},
    {"ANSI_1252", "CP1252"},
    {"GB2312", "GBK"},
    {"ANSI_1253", "CP1253"},
    {"ANSI_1254", "CP1254"},
    {"ANSI_1255", "CP1255"},
    {"ANSI_1256", "CP1256"},
    {"ANSI_1257", "CP1257"},
    {"ANSI_874", "CP874"},
    {"ANSI_932", "CP932"},
    {"ANSI_936", "CP936"},
    {"ANSI_949", "CP949"},
    {"ANSI_950", "CP950"},
    {"ANSI_1361", "JOHAB"},
    {"UTF-16", "UTF-16LE"},
    {"ANSI_1258", "CP1258"},
};

constexpr int32_t kCodePageCount = static_cast<int32_t>(std::size(kCodePages));

}  // namespace

std::string_view codePageName(int32_t number)
{
    if (number < 0 || number >= kCodePageCount)
        return {};
    return kCodePages[number].name;
}

std::string iconvNameFor(std::string_view name)
{
    for (const CodePage &page : kCodePages) {
        if (!page.name.empty() && page.name.size() == name.size() &&
            strncasecmp(page.name.data(), name.data(), name.size()) == 0)
            return std::string(page.iconv);
    }
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
