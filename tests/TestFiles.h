// Helpers for tests that touch real files: a scratch folder removed at the end,
// whole-file reads and writes, deterministic random contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::test {

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::u16string& name) const { return m_path / name; }
    // Names of everything in the folder, sorted.
    std::vector<std::u16string> List() const;

private:
    std::filesystem::path m_path;
};

// Names of everything in a folder, sorted.
std::vector<std::u16string> ListFolder(const std::filesystem::path& folder);

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed);
// Whole-file writes and reads throw std::runtime_error when they fail: a file
// that could not be made or opened is never taken for an empty one.
void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// A file of n random bytes; returns them.
std::vector<uint8_t> WriteRandomFile(const std::filesystem::path& path, size_t n, uint32_t seed);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);
std::u16string U16(const std::filesystem::path& path);
// A path or name as UTF-8, for test traces.
std::string ReadableName(const std::u16string& name);

#ifdef _WIN32
// Windows' wide strings hold UTF-16 too: the same units in the other type.
inline std::wstring W(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}
inline std::u16string U16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}
#endif

}  // namespace quorvel::test
