#pragma once
#include <string>
#include <vector>

// Holds a dialog's texts so they can be replaced (for example by a translation) without touching
// the code. The keys are the texts the dialog was designed with.
class TTextStorage {
  public:
    TTextStorage() = default;
    // Designed texts: they become both the items in use and the keys.
    explicit TTextStorage(std::vector<std::string> Designed);

    // The texts in use; replacing them leaves the keys alone.
    const std::vector<std::string>& Items() const { return items_; }
    void SetItems(std::vector<std::string> Items) { items_ = std::move(Items); }

    // Takes the keys from the current items (once the designed texts are in place).
    void Loaded() { keys_ = items_; }

    // The text in use for a designed text: the item at the key's place (keys compared without
    // regard to ASCII case), the key itself when it is unknown or its item reads "unused".
    std::string LookupText(const std::string& Key) const;

  private:
    std::vector<std::string> items_;
    std::vector<std::string> keys_;
};
