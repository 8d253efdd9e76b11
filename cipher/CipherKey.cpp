// Key bytes from a password and the block partition of a file.
#include "cipher/CipherKey.h"

namespace quorvel {

SecureBytes MakeKey(std::u16string_view password)
{
    SecureBytes key(password.size());
    for (size_t j = 0; j < password.size(); ++j)
        key[j] = static_cast<uint8_t>(password[j] & 0xFF);
    return key;
}

uint64_t BlockCount(uint64_t size)
{
    return (size >> 18) + ((size & (CIPHER_BLOCK_SIZE - 1)) != 0 ? 1u : 0u);
}

}  // namespace quorvel
