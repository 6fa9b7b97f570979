#include "properties.h"

#include <cstdio>
#include <string_view>

#include "TQDUDADE.h"
#include "codepage.h"
#include "core/properties.h"
#include "text_output.h"

namespace dwgtext {

namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
constexpr int64_t kSecondsPerDay = 86'400;
// The Julian day numbers of 0001-01-01 and 9999-12-31 (Gregorian), and of
// 1970-01-01, from which the civil calendar is counted below.
constexpr int64_t kFirstDay = 1'721'426;
constexpr int64_t kLastDay = 5'373'484;
constexpr int64_t kUnixEpochDay = 2'440'588;

struct StandardName {
    PropertyKey key;
    const char *name;
};
// Where the times go among them is the order propertiesOf gives out.
constexpr StandardName kTextsBeforeTimes[] = {
    {PropertyKey::Title, "title"},         {PropertyKey::Subject, "subject"},
    {PropertyKey::Author, "author"},       {PropertyKey::Keywords, "keywords"},
    {PropertyKey::Comments, "comments"},   {PropertyKey::LastSavedBy, "lastSavedBy"},
    {PropertyKey::Revision, "revision"},   {PropertyKey::HyperlinkBase, "hyperlinkBase"},
};
constexpr StandardName kTextsAfterTimes[] = {
    {PropertyKey::Application, "application"},
    {PropertyKey::ApplicationVersion, "applicationVersion"},
};

// Year, month and day of a count of days from 1970-01-01, in the
// proleptic Gregorian calendar: by eras of 400 years, each 146 097 days,
// with years counted from March so that the leap day ends the year.
void civilDate(int64_t days, int64_t *year, int64_t *month, int64_t *day)
{
    const int64_t shifted = days + 719'468;  // from 0000-03-01
    const int64_t era = (shifted >= 0 ? shifted : shifted - 146'096) / 146'097;
    const int64_t dayOfEra = shifted - era * 146'097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    *month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

class PropertyDecoder {
public:
    PropertyDecoder(const DrawingProperties &found, const std::string &codePage) : found_(found), codePage_(codePage)
    {
    }

    std::string text(const PropertyText &text)
    {
        const std::string_view bytes(reinterpret_cast<const char *>(found_.bytesOf(text)), text.length);
        return text.charset == DWG_CHARSET_UTF16BE ? utf16beToUtf8(bytes) : codePage_.decode(bytes);
    }

private:
    const DrawingProperties &found_;
    CodePageDecoder codePage_;
};

void addTexts(std::vector<DrawingProperty> &out, PropertyDecoder &decoder, const DrawingProperties &found,
              const auto &names)
{
    for (const StandardName &entry : names) {
        const PropertyText &text = found.standard[static_cast<int32_t>(entry.key)];
        if (text.present)
            out.push_back({entry.name, decoder.text(text)});
    }
}

void addTime(std::vector<DrawingProperty> &out, const char *name, const JulianTime &time)
{
    std::string iso = time.present ? isoTimeOf(time.day, time.milliseconds) : std::string();
    if (!iso.empty())
        out.push_back({name, std::move(iso)});
}

void addEditingTime(std::vector<DrawingProperty> &out, const JulianTime &span)
{
    if (span.present && span.day >= 0 && span.milliseconds >= 0)
        out.push_back({"editingTime", std::to_string(span.day * kSecondsPerDay + span.milliseconds / 1000)});
}

}  // namespace

std::string isoTimeOf(int32_t julianDay, int32_t milliseconds)
{
    if (julianDay < kFirstDay || julianDay > kLastDay || milliseconds < 0 || milliseconds >= kMillisecondsPerDay)
        return {};
    int64_t year = 0, month = 0, day = 0;
    civilDate(julianDay - kUnixEpochDay, &year, &month, &day);
    const int64_t seconds = milliseconds / 1000;
    char iso[48];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year), static_cast<int>(month),
                  static_cast<int>(day), static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return iso;
}

std::vector<DrawingProperty> propertiesOf(const DrawingProperties &found, const std::string &codePage)
{
    PropertyDecoder decoder(found, codePage);
    std::vector<DrawingProperty> out;
    addTexts(out, decoder, found, kTextsBeforeTimes);
    addTime(out, "created", found.created);
    addTime(out, "modified", found.modified);
    addEditingTime(out, found.editingTime);
    addTexts(out, decoder, found, kTextsAfterTimes);
    for (int32_t i = 0; i < found.customCount; ++i)
        out.push_back({decoder.text(found.customNames[i]), decoder.text(found.customValues[i]), true});
    return out;
}

}  // namespace dwgtext
