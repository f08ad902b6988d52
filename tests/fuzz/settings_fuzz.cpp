// Feeds arbitrary bytes to the settings reader: it must never read out of
// bounds, and what it returns must be a piece of its input (of the decoded
// text, for a file in UTF-16).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto result = brevalt::parse_settings(bytes);
    if (const auto* settings = std::get_if<brevalt::Settings>(&result)) {
        const std::string& value = settings->rotation_time;
        const bool utf16 = bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
        if (!utf16 && bytes.find(value) == std::string_view::npos) std::abort();
        if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos) std::abort();
        if (settings->keeping.keep_dates > brevalt::k_max_keep_dates) std::abort();
    }
    return 0;
}
