// Finding a method or property by name quickly, with the answers of the plain
// walk: entry by entry in registration order, the localized name compared
// before the English one with the locale-aware SameName, the first match
// winning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TNameIndex {
public:
    // One entry's two names; the texts must outlive the index.
    struct TNames {
        const std::u16string* Localized;
        const std::u16string* English;
    };

    explicit TNameIndex(std::vector<TNames> entries);

    // The index of the first entry one of whose names SameName calls equal
    // to name; -1 when there is none.
    int32_t Find(std::u16string_view name) const;
    int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }

private:
    int32_t FindByKey(const std::string& key) const;
    int32_t Walk(std::u16string_view name) const;

    std::vector<TNames> FEntries;
    // Each registered text, as it is, and the first entry equal to it: the
    // host asks by the registered names, so most look-ups end here.
    std::unordered_map<std::u16string_view, int32_t> FExact;
    // Sort keys of the localized and the English name of each entry. Two
    // names compare equal exactly when their keys hold the same bytes.
    std::vector<std::string> FKeys;
    bool FHaveKeys = false;  // false: some key could not be made; walk instead
};
