// The drawings the command line names.
#ifndef DWGTEXT_INPUTS_H
#define DWGTEXT_INPUTS_H

#include <string>
#include <vector>

namespace dwgtext {

struct Input {
    std::string path;   // what to open; "-" is standard input
    std::string name;   // what lines and messages call it
    std::string error;  // set when it is not to be read at all
};

struct InputList {
    std::vector<Input> inputs;
    bool fromDirectory = false;  // some came from walking a directory
};

// Files as given; with recursive, each directory gives the files named
// *.dwg (in any case) below it, sorted by path; without it, a directory is
// an input with an error.
InputList expandOperands(const std::vector<std::string> &operands, bool recursive);

}  // namespace dwgtext

#endif
