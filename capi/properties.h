// A drawing's document properties as our programs give them: UTF-8 texts
// under the names of dwgtext's JSON ("title", "lastSavedBy", "created"...),
// the standard ones first in a fixed order, then the custom pairs under
// their own names.
#ifndef DWGTEXT_PROPERTIES_H
#define DWGTEXT_PROPERTIES_H

#include <cstdint>
#include <string>
#include <vector>

struct DrawingProperties;

namespace dwgtext {

struct DrawingProperty {
    std::string name;
    std::string value;  // valid UTF-8; times in ISO 8601 (UTC), the editing time in whole seconds
    bool custom = false;
};

// The properties the library read, their byte texts decoded from the code
// page of this iconv name. A time that is not a date (day 0, or milliseconds
// past a day) is left out.
std::vector<DrawingProperty> propertiesOf(const DrawingProperties &found, const std::string &codePage);

// A Julian day number and the milliseconds into that day, as
// "2024-03-05T14:07:09Z"; empty when it is not a date of the years 1 to 9999.
std::string isoTimeOf(int32_t julianDay, int32_t milliseconds);

}  // namespace dwgtext

#endif
