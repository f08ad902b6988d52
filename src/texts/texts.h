#pragma once

#include <string>
#include <string_view>
#include <vector>

// Every text Brevalt shows the operator beyond the window's own captions:
// notifications, the icon's tooltip, the start-up error. The system log and
// standard error take the English form; the operator sees the form the shell
// gives for the session's language, with the same %1, %2, ... filled in.
namespace brevalt {

// Each text's identity and English form are declared together, in texts.def.
// The numbers are only the order there: the Windows resources are generated
// from the same file at each build, so they follow any change.
enum class TextId : int {
#define BREVALT_TEXT(identity, english) identity,
#include "texts/texts.def"
#undef BREVALT_TEXT
    count_
};

inline constexpr int k_text_count = static_cast<int>(TextId::count_);
// Where Brevalt's texts start among the string resources of the Windows program.
inline constexpr int k_text_id_base = 100;

// A text to show: which one, and what fills its places (file names, numbers,
// times, the system's words for an error), the same in every language.
struct Text {
    TextId id = TextId::sensor_ended;
    std::vector<std::string> args;
    bool operator==(const Text&) const = default;
};

// The English form, with %1, %2, ... where the arguments go.
std::string_view english_form(TextId id);

// The text's identity as written in texts.def ("sensor_not_found"): the key
// its translations are found by, so that editing an English sentence never
// loses its Japanese.
std::string_view text_key(TextId id);

// `form` with each %N (N = 1..9) replaced by args[N-1]; a % not followed by
// a digit with an argument stays as it is.
std::string format(std::string_view form, const std::vector<std::string>& args);

inline std::string english(const Text& text) { return format(english_form(text.id), text.args); }

}  // namespace brevalt
