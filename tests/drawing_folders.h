// The drawings the tests read from folders beside the project: the real
// corpora and the inputs fuzzing found.
#ifndef TQ_TESTS_DRAWING_FOLDERS_H
#define TQ_TESTS_DRAWING_FOLDERS_H

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <vector>

// Every *.dwg file directly in the folders, in path order; a folder that
// is not there gives none.
inline std::vector<std::filesystem::path> dwgFilesIn(std::initializer_list<std::filesystem::path> folders)
{
    std::vector<std::filesystem::path> paths;
    for (const std::filesystem::path &folder : folders) {
        std::error_code error;
        for (const std::filesystem::directory_entry &entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.path().extension() == ".dwg") {
                paths.push_back(entry.path());
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

#endif
