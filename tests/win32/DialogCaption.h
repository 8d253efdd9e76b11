// The main dialog's caption: the tests find the running dialog by it and the
// resource test expects it; the scripts take theirs from scripts/dialog-caption.
#pragma once

namespace quorvel::test {
inline constexpr wchar_t kMainDialogCaption[] = L"Quorvel2.0版";
}
