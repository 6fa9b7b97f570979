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

namespace {

// From the user timer on, up to the named-object dictionary's handle:
// the current tables, paper space and model space, the dimension
// variables and the handles of the control objects.
void encodeAfterTimes(BitWriter& w, const HeaderTimes& times, bool beforeR2000)
{
    w.BL(0).BL(0).BS(256).H(0, 0x400);
    for (int i = 0; i < 5; ++i) w.H(5, 0x10 + i);
    if (!beforeR2000) w.BD(1.0);
    for (int space = 0; space < 2; ++space) {
        for (int i = 0; i < 9; ++i) w.BD(i % 4 == 0 ? 2.5 : 0.0);
        for (int i = 0; i < 4; ++i) w.RD(12.0 * i);
        w.BD(0.0);
        for (int i = 0; i < 9; ++i) w.BD(i % 4 == 0 ? 1.0 : 0.0);
        w.H(5, 0);
        if (!beforeR2000) {
            w.H(5, 0).BS(0).H(5, 0);
            for (int i = 0; i < 18; ++i) w.BD(0.5);
        }
    }
    if (beforeR2000) {
        for (int i = 0; i < 11; ++i) w.B(i % 2 == 0);
        w.RC(2).RC(0).B(false).B(true).RC(1).RC(0).RC(3).B(false);
        for (int i = 0; i < 4; ++i) w.RC(static_cast<std::uint8_t>(i));
        for (int i = 0; i < 6; ++i) w.BS(static_cast<std::uint16_t>(2 + i));
        w.H(5, 0x11);
    } else {
        w.T("mm").T("");
    }
    for (int i = 0; i < 9; ++i) w.BD(0.18 * i);
    if (!beforeR2000) {
        for (int i = 0; i < 6; ++i) w.B(i % 2 == 1);
        w.BS(1).BS(0).BS(3);
    }
    for (int i = 0; i < 8; ++i) w.BD(1.0 + i);
    if (beforeR2000) {
        for (const char* text : {"mm", "", "ARROW", "", "DOT"}) w.T(text);
    } else {
        w.BD(0.0).B(true).BS(2).B(false).B(true).B(false).B(true);
    }
    w.BS(0).BS(256).BS(7);
    if (!beforeR2000) {
        for (int i = 0; i < 11; ++i) w.BS(static_cast<std::uint16_t>(i));
        w.B(true).B(false);
        for (int i = 0; i < 4; ++i) w.BS(static_cast<std::uint16_t>(i * 3));
        w.B(true).BS(3);
        for (int i = 0; i < 5; ++i) w.H(5, 0x20 + i);
        w.BS(0xFFFE).BS(0xFFFD);
    }
    for (int i = 0; i < 12; ++i) w.H(3, 1 + i);
    w.H(3, times.namedObjects);
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
    encodeAfterTimes(w, times, beforeR2000);
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

Bytes encodePropertiesRecord(const SummaryInfo& info)
{
    constexpr std::size_t kNamedPairs = 10;
    constexpr std::uint8_t kCodePage = 30;
    Bytes out;
    auto text = [&](std::uint16_t code, const std::string& value) {
        append16(out, code);
        append16(out, static_cast<std::uint32_t>(value.size()));
        out.push_back(kCodePage);
        out.insert(out.end(), value.begin(), value.end());
    };
    text(1, "DWGPROPS COOKIE");
    for (const auto& [code, value] : {std::pair{2, &info.title}, {3, &info.subject}, {4, &info.author},
                                      {6, &info.comments}, {7, &info.keywords}, {8, &info.lastSavedBy},
                                      {9, &info.revision}}) {
        text(static_cast<std::uint16_t>(code), *value);
    }
    for (std::size_t i = 0; i < kNamedPairs; ++i) {
        const bool held = i < info.custom.size();
        text(static_cast<std::uint16_t>(300 + i), held ? info.custom[i].first + "=" + info.custom[i].second : "=");
    }
    for (std::uint16_t code : {40, 41, 42}) {
        append16(out, code);
        out.insert(out.end(), 8, 0);
    }
    append16(out, 70);
    append16(out, 1);
    text(1, info.hyperlinkBase);
    const std::size_t counted = info.custom.size() > kNamedPairs ? info.custom.size() - kNamedPairs : 0;
    append16(out, 90);
    append32(out, static_cast<std::uint32_t>(counted));
    for (std::size_t i = kNamedPairs; i < info.custom.size(); ++i) {
        text(1, info.custom[i].first);
        text(1, info.custom[i].second);
    }
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
