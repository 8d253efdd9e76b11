// Names of files and folders: the parts of a path, wildcards, the names the
// file system compares, and the temporary names of unfinished outputs.
// Paths are UTF-16.
#pragma once

#include "platform/FileStatus.h"

#include <functional>
#include <string>
#include <vector>

namespace quorvel {

// Whether c separates the parts of a path: '/', and on Windows '\' too.
bool IsPathSeparator(char16_t c);
// The folder part of a path including its trailing separator ("" for a bare name).
std::u16string FolderOf(const std::u16string& path);
// The name after the folder part ("" for a path that ends in a separator).
std::u16string NameOf(const std::u16string& path);
// The separator appended to a folder given without one.
char16_t PathSeparator();

// A name as the file system compares names: as is on POSIX, case-folded on Windows.
std::u16string FoldName(std::u16string name);

// Wildcards in the last component of a path: * stands for any run of
// characters, ? for one. A Windows shell passes them through as typed and
// every program expands them itself; a POSIX shell has expanded them before
// the program starts, so there a path is never a pattern.
struct WildcardMatches {
    bool isPattern = false;
    // The folder part of the pattern as given + each matching name, in the
    // order the folder lists them. Only ordinary files: never a folder, a
    // temporary output, or a hidden or system file (named in full, those are
    // taken).
    std::vector<std::u16string> paths;
    FileStatus status;  // why the folder could not be listed
};
WildcardMatches ExpandWildcards(const std::u16string& pattern);

// Temporary outputs are named ".quorvel-" + 8 hexadecimal digits + ".tmp".
bool IsTemporaryOutputName(const std::u16string& name);
std::u16string NewTemporaryOutputName();
// Makes something under a new temporary name in folder: create(path) makes
// it, or answers Exists when the name is taken, and another name is tried.
// Each name is random, so a taken one is another run's; after a hundred in a
// row, NoTemporaryName.
FileStatus CreateUnderTemporaryName(const std::u16string& folder,
                                    const std::function<FileStatus(const std::u16string& path)>& create);

}  // namespace quorvel
