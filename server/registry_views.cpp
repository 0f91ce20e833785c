#include "server/registry_views.h"
#include "common/unique_handle.h"
#include "server/registry_native.h"

namespace {
// `path` below the classes key, opened in `view` to be asked its name; empty when missing.
UniqueHkey OpenInView(const ClassesViews& classes, const std::wstring& path, REGSAM view) {
    const ViewKey parent = classes.In(view);
    UniqueHkey key;
    (void)RegOpenKeyExW(parent.key, path.c_str(), 0, KEY_QUERY_VALUE | parent.view, key.Receive());
    return key;
}
}  // namespace

bool KeyExistsInView(const ClassesViews& classes, const std::wstring& path, REGSAM view) {
    return static_cast<bool>(OpenInView(classes, path, view));
}

bool RegistryViewsShareKey(const ClassesViews& classes, const std::wstring& path) {
    const UniqueHkey own = OpenInView(classes, path, kOwnView);
    const UniqueHkey other = OpenInView(classes, path, kOtherView);
    if (!own || !other) return false;
    const std::wstring ownName = RegistryKeyName(own.Get());
    const std::wstring otherName = RegistryKeyName(other.Get());
    return ownName.empty() || otherName.empty() || lstrcmpiW(ownName.c_str(), otherName.c_str()) == 0;
}
