#include "documentinfo.h"

#include <stdexcept>

namespace dwgw {

namespace {

void append16(Bytes& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append32(Bytes& out, std::uint32_t value)
{
    append16(out, value & 0xFFFFu);
    append16(out, value >> 16);
}

std::u16string utf16Of(const std::string& utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3Fu >> extra);
        if (i + extra >= utf8.size()) {
            throw std::invalid_argument("utf16Of: a character is cut short");
        }
        for (int k = 1; k <= extra; ++k) c = c << 6 | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3Fu);
        i += static_cast<std::size_t>(extra) + 1;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

void appendDayTime(Bytes& out, DayTime time)
{
    append32(out, time.day);
    append32(out, time.milliseconds);
}

}  // namespace

Bytes encodeHeaderTimes(const HeaderTimes& times, bool beforeR2000)
{
    BitWriter w;
    w.BD(412148564080.0).BD(1.0).BD(1.0).BD(1.0);
    for (int i = 0; i < 4; ++i) w.T("");
    w.BL(24).BL(0);
    if (beforeR2000) w.BS(0);
    w.H(5, 1);
    for (int i = 0; i < (beforeR2000 ? 26 : 20); ++i) w.B(i % 3 == 0);
    for (int i = 0; i < (beforeR2000 ? 31 : 27); ++i) w.BS(static_cast<std::uint16_t>(i * 40));
    for (int i = 0; i < 21; ++i) w.BD(i % 2 == 0 ? 1.0 : 0.25);
    w.T(times.menuName);
    for (const DayTime& time : {times.created, times.modified, times.editingTime}) w.BL(time.day).BL(time.milliseconds);
    return w.bytes();
}

void appendInfoText(Bytes& out, const std::string& text, bool utf16)
{
    if (!utf16) {
        append16(out, static_cast<std::uint32_t>(text.size() + 1));
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
        return;
    }
    const std::u16string units = utf16Of(text);
    append16(out, static_cast<std::uint32_t>(units.size() + 1));
    for (char16_t unit : units) append16(out, unit);
    append16(out, 0);
}

Bytes encodeSummaryInfo(const SummaryInfo& info, bool utf16)
{
    Bytes out;
    for (const std::string* text : {&info.title, &info.subject, &info.author, &info.keywords, &info.comments,
                                    &info.lastSavedBy, &info.revision, &info.hyperlinkBase}) {
        appendInfoText(out, *text, utf16);
    }
    appendDayTime(out, info.editingTime);
    appendDayTime(out, info.created);
    appendDayTime(out, info.modified);
    append16(out, static_cast<std::uint32_t>(info.custom.size()));
    for (const auto& [name, value] : info.custom) {
        appendInfoText(out, name, utf16);
        appendInfoText(out, value, utf16);
    }
    append32(out, 0);
    append32(out, 0);
    return out;
}

// R2004's layout: the list's name, a number, a text, the product, the
// version; the later one: a number, the list's name, the number of entries
// (3), then version, comment and product after 16 bytes of checksum each.
Bytes encodeAppInfo(const AppInfo& info, bool utf16)
{
    Bytes out;
    if (!utf16) {
        appendInfoText(out, "AppInfoDataList", false);
        append32(out, 2);
        appendInfoText(out, "4001", false);
        appendInfoText(out, info.product, false);
        appendInfoText(out, info.version, false);
        return out;
    }
    const Bytes checksum(16, 0);
    append32(out, 3);
    appendInfoText(out, "AppInfoDataList", true);
    append32(out, 3);
    out.insert(out.end(), checksum.begin(), checksum.end());
    appendInfoText(out, info.version, true);
    out.insert(out.end(), checksum.begin(), checksum.end());
    appendInfoText(out, "", true);
    out.insert(out.end(), checksum.begin(), checksum.end());
    appendInfoText(out, info.product, true);
    return out;
}

}  // namespace dwgw
