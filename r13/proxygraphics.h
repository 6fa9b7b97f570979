// The graphic an entity of a custom class carries: the primitives a
// program draws in the entity's place when the application that defines it
// is missing (walls, door and window marks, room tags of an architecture
// add-on). Among them are texts, which are the entity's only texts such a
// program shows.
//
// A graphic is little-endian and aligned to 4 bytes: an RL giving its size
// in bytes, an RL count of primitives, then the primitives, each an RL
// size (counting its own 8-byte head), an RL type and its fields. Four
// types hold a text: 10 and 11 a string of the drawing's code page, 36 and
// 38 a string of UTF-16 units (which drawings of R2007 on write). Each
// string ends with a zero byte (unit) and is padded to 4 bytes.
//   10, 36: start point, normal and direction (9 RD), height, width factor
//           and oblique angle (3 RD), the string.
//   11, 38: the 9 RD, the string, an RL length (-1: up to the zero), an RL
//           flag that says whether %% codes are to be interpreted, 4 RD
//           (height, width factor, oblique angle, tracking) and 5 RL flags
//           (backwards, upside down, vertical, underlined, overlined);
//           then the style: for 11 the font's and the big font's file
//           names; for 38 4 RL (bold, italic, charset, pitch and family)
//           and the typeface's, the font's and the big font's names.
// Every other type is stepped over by its size.
//
// A graphic gives its texts only when it parses exactly: its stated size is
// its length, its primitives are as many as its count says, each one's size
// a multiple of 4 that ends within the graphic, the last ending where the
// graphic does, and each text primitive's fields filling its size. An
// object misread as an entity, or a graphic of another layout, then gives
// nothing rather than garbage.
#ifndef TQ_R13_PROXYGRAPHICS_H
#define TQ_R13_PROXYGRAPHICS_H

#include <cstdint>

// One text of a graphic: where its first byte lies in the graphic, and how
// long it is: bytes, or (wide) UTF-16 units, little-endian.
struct ProxyText {
    int32_t at;
    int32_t length;
    bool wide;
};

// The text primitives of a graphic, in the order it draws them.
class ProxyTexts {
public:
    // False when the graphic does not parse exactly; it then gives no text.
    bool open(const uint8_t *bytes, int32_t length);
    // The next text, false after the last.
    bool next(ProxyText *text);

private:
    bool p_step(ProxyText *text, bool *found);

    const uint8_t *bytes_ = nullptr;
    int32_t length_ = 0;
    int32_t at_ = 0;      // the next primitive
    uint32_t left_ = 0;   // primitives from it on
};

#endif
