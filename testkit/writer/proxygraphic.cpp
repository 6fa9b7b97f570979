#include "objects.h"

#include <cstring>

namespace dwgw {

namespace {

void putRL(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putRD(Bytes& out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

// A string and its closing zero, bytes or (wide) UTF-16 units with each
// byte widened, padded with zeros to 4 bytes.
void putString(Bytes& out, const std::string& text, bool wide) {
    for (unsigned char c : text) {
        out.push_back(c);
        if (wide) out.push_back(0);
    }
    out.insert(out.end(), wide ? 2 : 1, 0);
    while (out.size() % 4 != 0) out.push_back(0);
}

// Start point, normal and direction.
void putPlacement(Bytes& out) {
    for (double v : {10.0, 20.0, 0.0, 0.0, 0.0, 1.0, 1.0, 0.0, 0.0}) putRD(out, v);
}

Bytes textPrimitive(const std::string& text, bool wide) {
    Bytes fields;
    putPlacement(fields);
    for (double v : {2.5, 1.0, 0.0}) putRD(fields, v);  // height, width factor, oblique angle
    putString(fields, text, wide);
    return fields;
}

// With its length (-1: up to the zero), the flag that %% codes are
// interpreted, height, width factor, oblique angle and tracking, five
// flags, and its style's names.
Bytes text2Primitive(const std::string& text, bool wide) {
    Bytes fields;
    putPlacement(fields);
    putString(fields, text, wide);
    putRL(fields, 0xFFFFFFFF);
    putRL(fields, 1);
    for (double v : {2.5, 1.0, 0.0, 1.0}) putRD(fields, v);
    for (int flag = 0; flag < 5; ++flag) putRL(fields, 0);
    if (wide) {
        for (int field = 0; field < 4; ++field) putRL(fields, 0);  // bold, italic, charset, pitch and family
        for (const char* name : {"Arial", "arial.ttf", ""}) putString(fields, name, true);
    } else {
        for (const char* name : {"txt.shx", ""}) putString(fields, name, false);
    }
    return fields;
}

Bytes polylinePrimitive() {
    Bytes fields;
    putRL(fields, 2);
    for (double v : {0.0, 0.0, 0.0, 100.0, 50.0, 0.0}) putRD(fields, v);
    return fields;
}

}  // namespace

Bytes proxyGraphic(const std::vector<std::string>& texts, bool wide) {
    std::vector<std::pair<std::uint32_t, Bytes>> primitives{{6, polylinePrimitive()}};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool second = i % 2 == 1;
        const std::uint32_t type = wide ? (second ? 38 : 36) : (second ? 11 : 10);
        primitives.emplace_back(type, second ? text2Primitive(texts[i], wide) : textPrimitive(texts[i], wide));
    }
    Bytes body;
    for (const auto& [type, fields] : primitives) {
        putRL(body, static_cast<std::uint32_t>(8 + fields.size()));
        putRL(body, type);
        body.insert(body.end(), fields.begin(), fields.end());
    }
    Bytes graphic;
    putRL(graphic, static_cast<std::uint32_t>(8 + body.size()));
    putRL(graphic, static_cast<std::uint32_t>(primitives.size()));
    graphic.insert(graphic.end(), body.begin(), body.end());
    return graphic;
}

}  // namespace dwgw
