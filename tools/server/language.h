// The language of a text, by the n-gram classifier of libexttextcat and its
// language models.
#ifndef DWGTEXT_SERVER_LANGUAGE_H
#define DWGTEXT_SERVER_LANGUAGE_H

#include <string>
#include <string_view>

namespace dwgserver {

// The language's code ("en", "de", "zh"...); empty when the text is too short
// to tell or like no language the classifier knows.
std::string languageOf(std::string_view text);

}  // namespace dwgserver

#endif
