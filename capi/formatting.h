// What a reader of the drawing sees of a text: the formatting codes that
// the drawing keeps inside texts rendered as the characters they stand for
// or dropped, and the result made into one line of plain text.
#ifndef DWGTEXT_FORMATTING_H
#define DWGTEXT_FORMATTING_H

#include <string>
#include <string_view>

namespace dwgtext {

struct CodeSet {
    // "\U+XXXX" stands for the character U+XXXX. The library has already
    // turned these into characters in the texts it delivers as UTF-16.
    bool unicodeEscapes = true;
    // MTEXT inline codes: "{\H0.5x;word}", "\S1#4;", "\P"... Drawings before
    // R13 have no MTEXT, so a backslash in their texts is just a backslash.
    bool mtext = true;
};

// Renders the codes of one text (valid UTF-8):
//   - "%%c", "%%d", "%%p" and "%%%" become the diameter sign, the degree
//     sign, the plus-minus sign and "%" (in either letter case); the
//     underline, overline and strike-through toggles "%%u", "%%o", "%%k"
//     vanish;
//   - with mtext: braces and the font, height, width, colour, tracking,
//     oblique, alignment and paragraph codes up to their ';' vanish, as do
//     the line toggles \L \l \O \o \K \k; "\Sa^b;", "\Sa/b;" and "\Sa#b;"
//     become "a/b"; "\P" and "\X" a line break; "\~" a no-break space;
//     "\\", "\{" and "\}" that character. Any other backslash stays.
std::string renderCodes(std::string_view utf8, CodeSet codes);

// A tolerance frame's string (valid UTF-8) as a reader sees it: the frame
// keeps its cells apart with "%%v" and its rows with line breaks (or "^J"),
// and writes each geometric symbol as a letter in the GD&T font,
// "{\Fgdt;j}". The symbols become their characters (position, "j", is
// U+2316) and each cell's codes are rendered by renderCodes; the cells that
// hold something are joined by " | ", the rows by " / ". The string ends at
// a NUL.
std::string renderTolerance(std::string_view utf8, CodeSet codes);

// One line of text from valid UTF-8: trailing NULs dropped, every other
// control character but TAB (CR and LF among them) made a space.
std::string singleLine(std::string_view utf8);

}  // namespace dwgtext

#endif
