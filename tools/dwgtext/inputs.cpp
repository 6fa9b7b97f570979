#include "inputs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace dwgtext {

namespace fs = std::filesystem;

namespace {

bool hasDrawingExtension(const fs::path &path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".dwg" || extension == ".dxf";
}

void addDirectory(const std::string &directory, InputList &list)
{
    std::error_code error;
    std::vector<std::string> found;
    fs::recursive_directory_iterator walk(directory, fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        std::error_code typeError;
        if (walk->is_regular_file(typeError) && hasDrawingExtension(walk->path()))
            found.push_back(walk->path().string());
    }
    if (error) {
        list.inputs.push_back({directory, directory, error.message()});
        return;
    }
    std::sort(found.begin(), found.end());
    for (std::string &path : found)
        list.inputs.push_back({path, path, {}});
    list.fromDirectory = true;
}

}  // namespace

InputList expandOperands(const std::vector<std::string> &operands, bool recursive)
{
    InputList list;
    for (const std::string &operand : operands) {
        std::error_code error;
        if (operand == "-")
            list.inputs.push_back({operand, "(standard input)", {}});
        else if (!fs::is_directory(operand, error))
            list.inputs.push_back({operand, operand, {}});
        else if (recursive)
            addDirectory(operand, list);
        else
            list.inputs.push_back({operand, operand, "is a directory (-r reads the drawings in it)"});
    }
    return list;
}

}  // namespace dwgtext
