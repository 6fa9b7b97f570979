// Tests of the recording host, driven through the C records exactly as the
// reader drives them.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host_lean.h"
#include "tqhost.h"

namespace tqhost {
namespace {

// A library that appends two texts per getDWGobject call, reporting the
// call first, and an end object on the third call.
struct ScriptedLibrary {
    static inline HostSource *source = nullptr;
    static inline HostServices *services = nullptr;
    static inline DWGSessionHeader header{};
    static inline int calls = 0;
    static inline int shutDowns = 0;

    static DWGSessionHeader *start(HostSource *src, HostOpenParams *params)
    {
        source = src;
        services = params->services;
        calls = shutDowns = 0;
        return &header;
    }

    static void append(DWGOutputObject **head, int32_t kind, const std::string &text = "")
    {
        DWGOutputObject *object = services->fpCreateObject(services, kind);
        if (kind == DWG_OBJECT_TEXT) {
            object->text = services->PubSnormalmalloc(services, 1, static_cast<uint32_t>(text.size()));
            std::memcpy(object->text, text.data(), text.size());
            object->length = static_cast<int32_t>(text.size());
        }
        services->fpAppendObject(services, head, object, -1);
    }

    static int32_t next(DWGSessionHeader *)
    {
        ++calls;
        source->fpReport(source, ("call " + std::to_string(calls) + "\n").c_str(), 0);
        DWGOutputObject *head = nullptr;
        if (calls == 3) {
            append(&head, DWG_OBJECT_END);
        } else {
            append(&head, DWG_OBJECT_TEXT, std::to_string(calls) + "a");
            append(&head, DWG_OBJECT_TEXT, std::to_string(calls) + "b");
        }
        return services->fpDeliverObjects(services, &head, 0);
    }

    static void shutDown(DWGSessionHeader *) { ++shutDowns; }

    static EntryPoints entryPoints() { return {&start, &next, &shutDown}; }
};

struct KeptReports final : ReportSink {
    void report(std::string_view text) override
    {
        if (full)
            throw std::bad_alloc();
        reports.emplace_back(text);
    }
    std::vector<std::string> reports;
    bool full = false;
};

TEST(LeanSession, HandsOutTheTextsOfACallOneAtATimeAndCallsOnlyWhenTheyAreGone)
{
    dwgfiles::MemoryBytes bytes(std::span<const uint8_t>{});
    KeptReports sink;
    LeanSession session(bytes, sink, ScriptedLibrary::entryPoints());
    ASSERT_TRUE(session.start());
    std::vector<std::string> texts;
    std::vector<int> callsAtText;
    while (const LeanText *text = session.next()) {
        texts.push_back(text->bytes);
        callsAtText.push_back(ScriptedLibrary::calls);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"1a", "1b", "2a", "2b"}));
    EXPECT_EQ(callsAtText, (std::vector<int>{1, 1, 2, 2}));
    EXPECT_TRUE(session.endSeen());
    EXPECT_EQ(ScriptedLibrary::shutDowns, 1);  // as soon as the end came
    EXPECT_EQ(session.next(), nullptr);
    EXPECT_EQ(ScriptedLibrary::calls, 3);
    EXPECT_EQ(sink.reports, (std::vector<std::string>{"call 1\n", "call 2\n", "call 3\n"}));
}

}  // namespace
}  // namespace tqhost
