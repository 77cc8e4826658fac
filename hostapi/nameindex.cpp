#include "hostapi/nameindex.h"

#include <utility>

#include "platform/platform.h"

TNameIndex::TNameIndex(std::vector<TNames> entries) : FEntries(std::move(entries)) {
    FHaveKeys = true;
    FKeys.reserve(2 * FEntries.size());
    for (const TNames& names : FEntries) {
        for (const std::u16string* name : {names.Localized, names.English}) {
            std::string key;
            if (!platform::NameSortKey(*name, key)) FHaveKeys = false;
            FKeys.push_back(std::move(key));
        }
    }
    if (!FHaveKeys) FKeys.clear();
    for (size_t i = 0; i < FEntries.size(); ++i) {
        for (size_t which = 0; which < 2; ++which) {
            const std::u16string& name = which == 0 ? *FEntries[i].Localized : *FEntries[i].English;
            if (FExact.count(name) != 0) continue;
            // A name is equal to itself, so this finds entry i at the latest.
            FExact.emplace(name, FHaveKeys ? FindByKey(FKeys[2 * i + which]) : Walk(name));
        }
    }
}

int32_t TNameIndex::Find(std::u16string_view name) const {
    const auto exact = FExact.find(name);
    if (exact != FExact.end()) return exact->second;
    std::string key;
    if (FHaveKeys && platform::NameSortKey(name, key)) return FindByKey(key);
    return Walk(name);
}

int32_t TNameIndex::FindByKey(const std::string& key) const {
    for (size_t i = 0; i < FEntries.size(); ++i)
        if (FKeys[2 * i] == key || FKeys[2 * i + 1] == key) return static_cast<int32_t>(i);
    return -1;
}

int32_t TNameIndex::Walk(std::u16string_view name) const {
    const std::u16string wanted(name);
    for (size_t i = 0; i < FEntries.size(); ++i)
        if (platform::SameName(*FEntries[i].Localized, wanted) || platform::SameName(*FEntries[i].English, wanted))
            return static_cast<int32_t>(i);
    return -1;
}
