#include "aurelix/platform/storage/property_bag.h"

#include <algorithm>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_error.h"
#include "aurelix/platform/storage/property_bag_text.h"
#include "aurelix/platform/storage/whole_file.h"

namespace aurelix::platform {

void PropertyBag::WriteProperty(const std::string& key, const Variant& value,
                                const Variant& defaultValue) {
    if (!IsPropertyKey(key)) {
        Raise(err::kInvalidCall, std::string(StandardDescription(err::kInvalidCall)) +
                                     ": property key \"" + key + "\"");
    }
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const auto& entry) { return entry.first == key; });
    if (value == defaultValue) {
        if (found != entries_.end()) {
            entries_.erase(found);
        }
    } else if (found != entries_.end()) {
        found->second = value;
    } else {
        entries_.emplace_back(key, value);
    }
}

Variant PropertyBag::ReadProperty(const std::string& key, const Variant& defaultValue) const {
    for (const auto& [stored, value] : entries_) {
        if (stored == key) {
            return value;
        }
    }
    return defaultValue;
}

bool PropertyBag::Contains(const std::string& key) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const auto& entry) { return entry.first == key; });
}

void PropertyBag::SaveToFile(const std::string& path) const {
    ReplaceFileAtomically(path, PropertyBagText(entries_));
}

void PropertyBag::LoadFromFile(const std::string& path) {
    const WholeFile file = ReadWholeFile(path);
    if (file.error != 0) {
        RaiseFileErrno(file.error, path);
    }
    Entries loaded;
    size_t lineNumber = 0;
    std::string problem;
    if (!ParsePropertyBagText(file.text, loaded, lineNumber, problem)) {
        Raise(err::kInvalidPropertyValue,
              path + " line " + std::to_string(lineNumber) + ": " + problem);
    }
    entries_ = std::move(loaded);
}

}  // namespace aurelix::platform
