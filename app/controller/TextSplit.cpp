#include "app/controller/TextSplit.h"

std::vector<std::u16string> SplitItems(std::u16string_view value, std::u16string_view separators)
{
    std::vector<std::u16string> items;
    size_t pos = 0;
    while (pos < value.size()) {
        const size_t start = value.find_first_not_of(separators, pos);
        if (start == std::u16string_view::npos) {
            break;
        }
        size_t end = value.find_first_of(separators, start);
        if (end == std::u16string_view::npos) {
            end = value.size();
        }
        items.emplace_back(value.substr(start, end - start));
        pos = end;
    }
    return items;
}
