#pragma once
// The identity code's only door to the registry: read-only keys of the Uninstall lookups,
// counted so that tests can tell whether an executable caused any registry access.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace regaccess {

class Key {
  public:
    Key();
    ~Key();
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    // Opens Path ("SOFTWARE\...", trailing '\' allowed) below Root for reading, in the view
    // the lookups use (the 64-bit one under WOW64).
    bool Open(reg::Root Root, const std::string& Path);
    std::vector<std::string> SubKeyNames() const;
    // A text value: REG_SZ only when SzOnly, else REG_SZ or REG_EXPAND_SZ (not expanded).
    bool ReadText(const std::string& Name, std::string& Value, bool SzOnly) const;
    bool ReadNumber(const std::string& Name, std::uint32_t& Value) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::uint64_t KeysOpened();
// Whether an Uninstall entry begins with DisplayName; counted like a key.
bool ProgramInstalled(const std::string& DisplayName);

} // namespace regaccess
