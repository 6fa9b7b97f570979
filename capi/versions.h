// What the first six bytes of a file say about it, for the messages of
// drawings the library does not read.
#ifndef DWGTEXT_VERSIONS_H
#define DWGTEXT_VERSIONS_H

#include <string>
#include <string_view>

namespace dwgtext {

// True when the bytes start like the version string of a DWG drawing of any
// release: "AC", a digit, then digits or dots ("AC1015", "AC1.50", "AC2.10").
bool looksLikeDwg(std::string_view firstBytes);

// The version string as the file stores it, less the zero bytes that pad
// the short ones of the first releases ("AC1.50").
std::string_view versionOf(std::string_view firstBytes);

// True for the versions the library reads: AC1006 to AC1032.
bool isSupportedVersion(std::string_view firstBytes);

// True for the versions that may hold MTEXT among the ones the library
// reads: AC1012 (R13) and later.
bool mayHoldMText(std::string_view firstBytes);

// The version string with its release where known: "AC1018 (R2004)".
std::string describeVersion(std::string_view firstBytes);

// The release of the version ("R2000" for "AC1015"); empty where unknown.
std::string_view releaseOf(std::string_view firstBytes);

// The range the library reads, for messages: "AC1006 (R10) to AC1032 (R2018)".
std::string supportedRange();

}  // namespace dwgtext

#endif
