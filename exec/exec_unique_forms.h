// Lists of the forms a text may take, each kept once.
#pragma once

#include <algorithm>
#include <vector>

#include "include/wide_text.h"

namespace zobrik {

// Adds `item` to `list` unless it is empty or already there.
inline void AddUnique(std::vector<WideString>& list, WideString item) {
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(std::move(item));
    }
}

}  // namespace zobrik
