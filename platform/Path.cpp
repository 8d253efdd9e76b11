// Path helpers shared by both sides.
#include "platform/FileSystem.h"

namespace quorvel {

std::u16string FolderOf(const std::u16string& path)
{
#ifdef _WIN32
    const auto cut = path.find_last_of(u"\\/:");
#else
    const auto cut = path.find_last_of(u'/');
#endif
    return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
}

}  // namespace quorvel
