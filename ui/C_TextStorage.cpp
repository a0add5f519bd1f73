#include "ui/C_TextStorage.h"

namespace {
bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}
} // namespace

TTextStorage::TTextStorage(std::vector<std::string> Designed) : items_(std::move(Designed)) {
    Loaded();
}

std::string TTextStorage::LookupText(const std::string& Key) const {
    std::string result = Key;
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (SameText(keys_[i], Key)) {
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
