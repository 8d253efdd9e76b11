#include "TestFiles.h"

#include "platform/Text.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

namespace quorvel::test {

ScratchDir::ScratchDir()
{
    static std::atomic<int> counter {0};
    std::random_device rd;
    m_path = std::filesystem::temp_directory_path() /
             ("quorvel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(m_path);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::u16string> ScratchDir::List() const
{
    return ListFolder(m_path);
}

std::vector<std::u16string> ListFolder(const std::filesystem::path& folder)
{
    std::vector<std::u16string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().u16string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + ReadableName(path.u16string()));
}

std::vector<uint8_t> WriteRandomFile(const std::filesystem::path& path, size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes = RandomBytes(n, seed);
    WriteFile(path, bytes);
    return bytes;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + ReadableName(path.u16string()));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::u16string U16(const std::filesystem::path& path)
{
    return path.u16string();
}

std::string ReadableName(const std::u16string& name)
{
    return Utf16ToUtf8(name);
}

}  // namespace quorvel::test
