// The mailbox's text and number conversion: a mail is split at single spaces and its
// arguments read as leading numbers rounded to 32 bits, as the control reads "analyzed"
// and "changedsamples"; the same texts go through the variant conversions of the
// late-bound interface. A number out of range raises Overflow (6); nothing else may go
// wrong.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/runtime/variant.h"

namespace {

using namespace aurelix::platform;

template <class Conversion>
void OnlyOverflow(Conversion&& conversion) {
    try {
        conversion();
    } catch (const RuntimeError& error) {
        if (error.Number() != err::kOverflow) {
            std::abort();
        }
    }
}

void ReadToken(std::string_view token) {
    OnlyOverflow([&] {
        const double value = LeadingNumber(token);
        if (LeadingNumberLength(token) == 0 && value != 0.0) {
            std::abort();  // no number reads as 0
        }
        if (std::isfinite(value) && LeadingNumber(NumberText(value)) != value) {
            std::abort();  // the plain text of a number reads back as that number
        }
        (void)RoundToInt32(value);
    });
    const Variant text{token};
    OnlyOverflow([&] { (void)text.ToLong(); });
    OnlyOverflow([&] { (void)text.ToInteger(); });
    OnlyOverflow([&] { (void)text.ToSingle(); });
    OnlyOverflow([&] { (void)text.ToBoolean(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view mail(reinterpret_cast<const char*>(data), size);
    mail = mail.substr(0, mail.find('\0'));  // a window text ends at NUL
    for (size_t begin = 0;;) {
        const size_t space = mail.find(' ', begin);
        ReadToken(mail.substr(begin, space - begin));
        if (space == std::string_view::npos) {
            return 0;
        }
        begin = space + 1;
    }
}
