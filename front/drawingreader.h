// The reader our own code reads drawings with: libdwgtext, and through it
// dwgtext and the Python package. It runs the same session and readers as
// the host's protocol, but its caller gives the bytes as a source read at
// any position, its own block operations and a listener for reports, and
// each text goes to a sink as it is decoded instead of being chained in
// output objects. What became of the drawing comes back as values. Not
// exported from the shared library: programs link the library's objects.
#ifndef TQ_FRONT_DRAWINGREADER_H
#define TQ_FRONT_DRAWINGREADER_H

#include <cstdint>

#include "core/dwgglobal.h"
#include "core/properties.h"
#include "core/versions.h"
#include "support/publicstorage.h"
#include "support/readersource.h"

// What the reader found out about a drawing.
struct ReaderFacts {
    char versionText[kVersionTextSize + 1];  // the file's first bytes, up to six, zero-ended
    int32_t versionIndex;                    // in the version table; kNoVersion when none matched
    int32_t codePage;  // the number the drawing records for the code page of its byte texts; -1 none
    bool cutShort;     // it records parts past the end of its bytes
    bool damaged;      // of full length, but parts it records could not be read
    bool ended;        // the reader came to the drawing's end
    PreviewPlace preview;  // where the preview image lies in the drawing's bytes
    uint64_t loadsNearEnd;  // the decoders' reads at or past their records' ends (FileStream)
};

// Where the reader's session comes from and where what it finds goes. The
// source, the listener and the sink must stay until the reader is closed.
struct ReaderParts {
    ReaderSource *source;
    BlockOperations blocks;
    ReportListener *reports;
    TextSink *texts;
};

class DrawingReader {
public:
    DrawingReader() = default;
    DrawingReader(const DrawingReader &) = delete;
    DrawingReader &operator=(const DrawingReader &) = delete;
    ~DrawingReader() { close(); }

    // Opens the drawing: false when no reader serves it or memory ran out.
    // The facts learnt so far stay either way.
    bool open(const ReaderParts &parts);
    // Reads on until at least one text has gone to the sink or the drawing
    // ended; false once nothing more can come.
    bool readOn();
    // Before the first readOn: only texts of the four classic kinds go to
    // the sink, as the host's protocol gives them: TEXT, ATTRIB, ATTDEF and
    // MTEXT.
    void keepClassicKinds();
    ReaderFacts facts() const { return session_ != nullptr ? p_factsOf(session_) : facts_; }
    // The document properties, read as the drawing opened: null when it has
    // none, or once the reader is closed.
    const DrawingProperties *properties() const { return session_ != nullptr ? session_->properties : nullptr; }
    // Gives back every block; the facts stay.
    void close();

private:
    static ReaderFacts p_factsOf(const DWGglobal *session);

    DWGglobal *session_ = nullptr;
    ReaderFacts facts_ = {{}, kNoVersion, -1, false, false, false, {}, 0};
};

#endif
