#include "core/acquire/AddressHistory.h"

#include "core/util/Text.h"

namespace kestrix {

void pushAddressHistory(std::vector<std::string>& list, std::string& text) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (equalsIgnoreCase(list[i], text)) {
            std::string entry = list[i];
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            list.insert(list.begin(), entry);
            text = entry;
            return;
        }
    }
    list.insert(list.begin(), text);
}

} // namespace kestrix
