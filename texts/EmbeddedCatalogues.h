// The compiled catalogues (.mo) built into the Windows program, made from
// po/*.po when it is built (cmake/EmbedCatalogues.cmake).
#pragma once

#include <cstddef>
#include <span>

namespace quorvel {

struct EmbeddedCatalogue {
    const char* language;  // "zh_CN", as the .po file is named
    const unsigned char* bytes;
    size_t size;
};

std::span<const EmbeddedCatalogue> EmbeddedCatalogues();

}  // namespace quorvel
