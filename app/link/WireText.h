// The one place where the program's UTF-16 text meets the 8-bit text of the wire.
//
// Outgoing text is written as UTF-8. Incoming text is read as UTF-8 when it is valid UTF-8; a
// camera that sends other bytes (an older firmware writing Latin-1 names) gets every byte taken
// as Latin-1, so no character is dropped and the name can be sent back byte for byte.
#pragma once

#include <string>
#include <string_view>

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string WideToWire(std::u16string_view text);

// UTF-8 to UTF-16, or Latin-1 to UTF-16 when the bytes are not valid UTF-8.
std::u16string WireToWide(std::string_view bytes);

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
