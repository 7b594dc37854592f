// The split routine every camera list goes through.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits at any of the separator characters as wcstok does: runs of separators count as one and
// empty items do not exist. The items are copies the caller owns.
std::vector<std::u16string> SplitItems(std::u16string_view value, std::u16string_view separators);
