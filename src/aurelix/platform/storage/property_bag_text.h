#pragma once

#include <string>
#include <string_view>

#include "aurelix/platform/storage/property_bag.h"

// The text form of a property bag (format in property_bag.h).
namespace aurelix::platform {

bool IsPropertyKey(std::string_view key);

std::string PropertyBagText(const PropertyBag::Entries& entries);

// Parses the whole text into `entries`. On the first malformed line returns false with
// `lineNumber` and `problem` set; `entries` is then unspecified.
bool ParsePropertyBagText(std::string_view text, PropertyBag::Entries& entries, size_t& lineNumber,
                          std::string& problem);

}  // namespace aurelix::platform
