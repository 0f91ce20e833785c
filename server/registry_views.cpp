#include "server/registry_views.h"
#include "common/unique_handle.h"
#include "server/registry_native.h"

namespace {
// `path` below `parent`, opened in `view` to be asked its name; empty when missing.
UniqueHkey OpenInView(HKEY parent, const std::wstring& path, REGSAM view) {
    UniqueHkey key;
    (void)RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE | view, key.Receive());
    return key;
}
}  // namespace

bool KeyExistsInView(HKEY parent, const std::wstring& path, REGSAM view) {
    return static_cast<bool>(OpenInView(parent, path, view));
}

bool RegistryViewsShareKey(HKEY parent, const std::wstring& path) {
    const UniqueHkey own = OpenInView(parent, path, kOwnView);
    const UniqueHkey other = OpenInView(parent, path, kOtherView);
    if (!own || !other) return false;
    const std::wstring ownName = RegistryKeyName(own.Get());
    const std::wstring otherName = RegistryKeyName(other.Get());
    return ownName.empty() || otherName.empty() || lstrcmpiW(ownName.c_str(), otherName.c_str()) == 0;
}
