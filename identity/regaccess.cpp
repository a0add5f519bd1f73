#include "identity/regaccess.h"

#include <atomic>

#include "platform/registry.h"
#include "services/system_report.h"

namespace regaccess {

namespace {
std::atomic<std::uint64_t> g_opened{0};
}

struct Key::Impl {
    reg::Key key;
};

Key::Key() : impl_(std::make_unique<Impl>()) {}
Key::~Key() = default;

bool Key::Open(reg::Root Root, const std::string& Path) {
    ++g_opened;
    // The 64-bit view under WOW64, so that the "Wow6432Node\" path names the 32-bit one.
    const reg::View view = reg::ProcessIsWow64() ? reg::View::Key64 : reg::View::Default;
    return impl_->key.Open(Root, Path, view);
}

std::vector<std::string> Key::SubKeyNames() const {
    return impl_->key.SubKeyNames();
}

bool Key::ReadText(const std::string& Name, std::string& Value, bool SzOnly) const {
    return impl_->key.ReadString(Name, Value, SzOnly);
}

bool Key::ReadNumber(const std::string& Name, std::uint32_t& Value) const {
    return impl_->key.ReadDword(Name, Value);
}

std::uint64_t KeysOpened() {
    return g_opened;
}

bool ProgramInstalled(const std::string& DisplayName) {
    ++g_opened;
    return IsProgramInstalled(DisplayName);
}

} // namespace regaccess
