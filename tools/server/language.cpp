#include "language.h"

#include <libexttextcat/textcat.h>

#include <mutex>

namespace dwgserver {

namespace {

// A few kilobytes tell the language as well as the whole text.
constexpr std::size_t kSampleBytes = 4096;

// The classifier keeps its work in its handle: one handle, one caller at a
// time. Its models load on the first call.
struct Classifier {
    std::mutex mutex;
    void *handle = special_textcat_Init(TEXTCAT_DATA_DIR "/fpdb.conf", TEXTCAT_DATA_DIR "/");
    ~Classifier()
    {
        if (handle != nullptr)
            textcat_Done(handle);
    }
};

}  // namespace

std::string languageOf(std::string_view text)
{
    static Classifier classifier;
    if (classifier.handle == nullptr)
        return {};
    std::string_view sample = text.substr(0, kSampleBytes);
    std::lock_guard lock(classifier.mutex);
    // "[en--utf8][de--utf8]", best first, or a word for no answer.
    const std::string_view found = textcat_Classify(classifier.handle, sample.data(), sample.size());
    if (!found.starts_with('['))
        return {};
    const std::size_t end = found.find_first_of("-]");
    return std::string(found.substr(1, end - 1));
}

}  // namespace dwgserver
