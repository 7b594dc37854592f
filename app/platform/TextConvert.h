// The one place where the program's UTF-16 text meets 8-bit text (wire, registry, log, files).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16. Bytes that are not valid UTF-8 are taken as Latin-1, one character each,
// so text from a camera that speaks Latin-1 arrives whole instead of being dropped.
std::u16string FromUtf8(std::string_view bytes);

}  // namespace platform
