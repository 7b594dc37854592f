// Local paths from the program's wide names and back, through the platform's one text conversion.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "app/platform/TextConvert.h"

namespace storage {

using platform::FromUtf8;
using platform::ToUtf8;

inline std::filesystem::path ToPath(std::u16string_view text) { return std::filesystem::path(ToUtf8(text)); }
inline std::u16string FromPath(const std::filesystem::path& path) { return FromUtf8(path.string()); }
inline std::u16string FromAscii(const char* text) { return text == nullptr ? std::u16string() : FromUtf8(text); }

}  // namespace storage
