// The server's routes, as a table: each path the extraction clients call,
// the methods it takes, how its body comes and the shape of its answer.
// Every shape is written once (routes.cpp), so that a route a client needs
// is a row of the table.
#ifndef DWGTEXT_SERVER_ROUTES_H
#define DWGTEXT_SERVER_ROUTES_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "extraction.h"

namespace dwgserver {

// How the drawing comes: not at all, as the whole body, or as the first
// part of a multipart/form-data body.
enum class Body { None, Raw, Multipart };

enum class Shape {
    Welcome,   // GET /: an HTML page of the routes
    Greeting,  // GET /tika: a line of text
    Version,
    Health,
    Parsers,   // what reads which media types, as JSON or text
    MimeTypes,
    Detectors,
    Content,   // the content, as text, XHTML or a JSON object with the metadata
    Meta,      // the metadata, as JSON or CSV
    MetaField, // one key of it
    MetaList,  // a JSON list of one metadata object with the content
    Tar,       // __METADATA__ and __TEXT__
    Language,  // the language of the drawing's texts
    Detect,    // the media type of the body
};

struct Route {
    std::string_view path;   // ending in '/' for a path that ends in a field
    std::string_view methods;  // "PUT", "PUT POST"...
    Body body;
    Shape shape;
    Content content;         // in JSON and XHTML answers
    std::string_view type;   // the answer's media type unless Accept asks for another the shape gives
};

struct Answer {
    int status = 200;
    std::string type;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// What a request asks, beyond its body.
struct Asked {
    const Route *route = nullptr;
    std::string field;   // the last step of the path of a route that ends in one
    std::string accept;  // the Accept header
};

// The route of a method and path; the route is null when none fits, and
// the answer then says why (404, or 405 with the methods the path takes).
const Route *findRoute(std::string_view method, std::string_view path, std::string &field, Answer &refusal);

bool readsDrawing(const Route &route);

// The answer of a route that takes no drawing.
Answer fixedAnswer(const Asked &asked);

// The answer of a route that takes a drawing, once it is read.
Answer drawingAnswer(const Asked &asked, const Extraction &extraction);

// The answer for a request the server will not serve: a line of text.
Answer refusal(int status, std::string_view reason);

}  // namespace dwgserver

#endif
