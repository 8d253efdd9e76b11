// Extended-length ("\\?\") paths for the Win32 file calls, so a file in a
// folder deeper than the classic 260-character limit can be opened, created,
// renamed and removed on every Windows, long-path setting or not.
#pragma once

#include <string>

namespace quorvel {

// The path to hand to a Win32 file call. A path whose full form fits the
// classic limit comes back unchanged, so everyday paths behave exactly as
// before. A longer one is made absolute (GetFullPathNameW: relative parts,
// "." and "..", forward slashes) and prefixed: "C:\..." becomes "\\?\C:\...",
// "\\server\share\..." becomes "\\?\UNC\server\share\...". Paths that already
// say how Windows must read them ("\\?\", "\\.\", "\??\") are left alone.
std::u16string ExtendedLengthPath(const std::u16string& path);

// GetFullPathNameW, which takes paths of any length: relative parts, "." and
// ".." resolved; empty when it fails.
std::u16string FullPathOf(const std::u16string& path);

// The prefixing step alone, for a path that is already full (as
// GetFullPathNameW returns it); unchanged when it fits the classic limit.
std::u16string ExtendedLengthOfFullPath(const std::u16string& fullPath);

// The full path in the form the native file calls take ("\??\C:\dir\name",
// "\??\UNC\server\share\name"), as a rename by handle needs it.
std::u16string NtPathOf(const std::u16string& path);

// Full paths shorter than this work with every Win32 file call without a
// prefix; CreateDirectoryW has the lowest limit (MAX_PATH less an 8.3 name).
constexpr std::size_t kClassicPathLimit = 248;

}  // namespace quorvel
