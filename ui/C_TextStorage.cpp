#include "ui/C_TextStorage.h"

#include "base/ascii.h"

TTextStorage::TTextStorage(std::vector<std::string> Designed) : items_(std::move(Designed)) {
    Loaded();
}

std::string TTextStorage::LookupText(const std::string& Key) const {
    std::string result = Key;
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (base::EqualsIgnoringAsciiCase(keys_[i], Key)) {
            // A shorter replacement list leaves the missing texts at their defaults.
            if (i < items_.size())
                result = items_[i];
            break;
        }
    }
    if (result == "unused")
        result = Key;
    return result;
}
