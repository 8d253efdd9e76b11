// The command line's texts in the user's language. A text is looked up by its
// English wording, the message id that xgettext extracts from the calls to Tr
// and the N_ marks (po/); a text the catalogue lacks stays English.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

// Marks a text for the catalogue where it is defined; Tr translates it where
// it is used.
#define N_(text) text

namespace quorvel {

// Chooses the language as the platform's programs do and opens its catalogue:
// on Linux, gettext's (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG), from
// share/locale beside the program's bin folder, in the build tree too.
// Until it is called, and under the C locale, every text is English.
void OpenCatalogue();

std::u16string Tr(const char* msgid);
// msgid with {1}, {2}, ... replaced by the arguments, wherever the
// translation puts them.
std::u16string Tr(const char* msgid, std::initializer_list<std::u16string_view> args);
std::u16string Tr(const char* msgid, std::span<const std::u16string_view> args);
// For texts that arrive as UTF-16 (the reasons of SharedTexts).
std::u16string Tr(std::u16string_view msgid);

}  // namespace quorvel
