// The two sections in which R2004 and later drawings keep their document
// properties: the summary information (the properties dialog) and the
// application information (the program that saved the drawing). Pass their
// bytes to ContainerSections or R2007Sections.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bitwriter.h"

namespace dwgw {

// A moment or a span as the sections record it: days (Julian day numbers
// for a moment) and milliseconds.
struct DayTime {
    std::uint32_t day = 0;
    std::uint32_t milliseconds = 0;
};

// Texts in UTF-8 when written as UTF-16 (R2007 on), else the bytes as the
// drawing's code page has them.
struct SummaryInfo {
    std::string title, subject, author, keywords, comments, lastSavedBy, revision, hyperlinkBase;
    DayTime editingTime, created, modified;
    std::vector<std::pair<std::string, std::string>> custom;
};

struct AppInfo {
    std::string product;  // e.g. <ProductInformation name="Drafter" .../>
    std::string version;
};

// R13 to R2000 keep the times among their header variables: these are the
// variables up to them (TDCREATE, TDUPDATE, TDINDWG) and on to the
// named-object dictionary's handle, every other one at a plain value, for
// DrawingOptions::headerVariables. Handle 0: the drawing has no dictionary
// (see Drawing::addPropertiesRecord).
struct HeaderTimes {
    DayTime created, modified, editingTime;
    std::string menuName = "acad";
    std::uint32_t namedObjects = 0;
};

Bytes encodeSummaryInfo(const SummaryInfo& info, bool utf16);
// The data of the properties record of R13 to R2000 (for
// Drawing::addPropertiesRecord): groups of a 16-bit code and a value, the
// texts as bytes of the code page. The first ten custom pairs go as
// "name=value" in groups 300 to 309, the others after a count (group 90)
// as a name and a value each; the times are the header's.
Bytes encodePropertiesRecord(const SummaryInfo& info);
Bytes encodeHeaderTimes(const HeaderTimes& times, bool beforeR2000);
Bytes encodeAppInfo(const AppInfo& info, bool utf16);

// A counted text of these sections: its length in characters with the
// terminating zero, then the characters and the zero.
void appendInfoText(Bytes& out, const std::string& text, bool utf16);

}  // namespace dwgw
