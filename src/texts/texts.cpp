#include "texts/texts.h"

#include <array>

namespace brevalt {

namespace {

constexpr std::array<std::string_view, k_text_count> k_english = {
#define BREVALT_TEXT(identity, english) english,
#include "texts/texts.def"
#undef BREVALT_TEXT
};

constexpr std::array<std::string_view, k_text_count> k_keys = {
#define BREVALT_TEXT(identity, english) #identity,
#include "texts/texts.def"
#undef BREVALT_TEXT
};

}  // namespace

std::string_view english_form(TextId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < k_english.size() ? k_english[index] : std::string_view();
}

std::string_view text_key(TextId id) {
    const auto index = static_cast<std::size_t>(id);
    return index < k_keys.size() ? k_keys[index] : std::string_view();
}

std::string format(std::string_view form, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(form.size());
    for (std::size_t i = 0; i < form.size(); ++i) {
        if (form[i] == '%' && i + 1 < form.size() && form[i + 1] >= '1' && form[i + 1] <= '9') {
            const auto arg = static_cast<std::size_t>(form[i + 1] - '1');
            if (arg < args.size()) {
                out += args[arg];
                ++i;
                continue;
            }
        }
        out += form[i];
    }
    return out;
}

}  // namespace brevalt
