// Wiping secrets (passwords, key bytes) before their memory is reused or
// freed, in a way the optimiser may not drop as a dead store.
#pragma once

#include <cstddef>
#include <string>

namespace quorvel {

void SecureZero(void* p, size_t n);

// Zeroes every character the text holds, then empties it.
void Wipe(std::string& text);
void Wipe(std::u16string& text);

}  // namespace quorvel
