// The main dialog's caption, by which the tests find the running dialog and
// which the resource test expects; the scripts take theirs from
// scripts/dialog-caption.
#pragma once

namespace quorvel::test {

inline constexpr wchar_t kMainDialogCaption[] = L"Quorvel2.0版";

}  // namespace quorvel::test
