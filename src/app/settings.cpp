#include "app/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

namespace brevalt {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// The file's name is the first part of every settings text.
Text text_for(TextId id, std::string_view file_name, std::vector<std::string> more = {}) {
    more.insert(more.begin(), std::string(file_name));
    return {id, std::move(more)};
}

SettingsError error_for(TextId id, std::string_view file_name, std::vector<std::string> more = {}) {
    Text text = text_for(id, file_name, std::move(more));
    return {english(text), std::move(text)};
}

std::string system_reason(const std::function<std::string(int)>& error_text, const char* otherwise) {
    if (errno == 0) return otherwise;
    return error_text ? error_text(errno) : std::strerror(errno);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

bool is_word(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-';
    });
}

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Digits only, within 1..k_max_keep_dates; 0 for anything else.
unsigned keep_value(std::string_view text) {
    if (text.empty() || text.size() > 4) return 0;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= k_max_keep_dates ? value : 0;
}

// Appends code point `c` in UTF-8.
void append_utf8(std::string& text, std::uint32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | c >> 6);
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | c >> 12);
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | c >> 18);
        text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A file that opens with a UTF-16 byte-order mark, as Windows PowerShell
// 5.1 writes one (`echo keep=30 >> brevalt.ini`), in UTF-8 without it. A
// lone surrogate becomes U+FFFD, which no setting holds. cmd's
// `echo keep=1>> brevalt.ini` appends bytes of its code page after the
// last UTF-16 line end instead: a tail that holds no zero byte and ends in
// a line end of its own. Plain ASCII there reads the same in every code
// page and is taken as it is; anything else would be a guess, and
// `bad_line` names the line instead.
struct Utf16Text {
    std::string text;
    unsigned bad_line = 0;
};

std::optional<Utf16Text> from_utf16(std::string_view bytes) {
    const bool little = bytes.substr(0, 2) == "\xFF\xFE";
    if (!little && bytes.substr(0, 2) != "\xFE\xFF") return std::nullopt;
    const auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<std::uint32_t>(little ? a | b << 8 : a << 8 | b);
    };
    std::size_t end = bytes.size();
    unsigned lines = 1;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        if (unit(i) == '\n') {
            end = i + 2;
            ++lines;
        }
    }
    const std::string_view tail = end < bytes.size() ? bytes.substr(end) : std::string_view();
    const bool appended = !tail.empty() && tail.back() == '\n' && tail.find('\0') == std::string_view::npos;
    if (!appended) end = bytes.size();

    Utf16Text decoded;
    std::string& text = decoded.text;
    for (std::size_t i = 2; i + 1 < end; i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < end && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        append_utf8(text, c);
    }
    if (appended) {
        if (std::all_of(tail.begin(), tail.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            text.append(tail);
        } else {
            decoded.bad_line = lines;
        }
    }
    return decoded;
}

bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t size = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                                                          : (lead & 0xF8) == 0xF0 ? 4 : 0;
        if (size == 0 || (size == 2 && lead < 0xC2) || i + size > text.size()) return false;
        for (std::size_t k = 1; k < size; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += size;
    }
    return true;
}

// The line in plain ASCII as Shift_JIS (CP932) or EUC-JP would show it:
// their full-width letters, digits, equals sign and ideographic space
// become the plain ones, every other character '?'. Used only to tell
// whether a line that is no UTF-8 holds a setting, never to read one.
std::string legacy_folded(std::string_view line, bool euc) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto lead = static_cast<unsigned char>(line[i]);
        if (lead < 0x80) {
            text += static_cast<char>(lead);
            continue;
        }
        if (i + 1 == line.size()) break;
        const auto trail = static_cast<unsigned char>(line[++i]);
        const unsigned symbols = euc ? 0xA1 : 0x81;
        const unsigned letters = euc ? 0xA3 : 0x82;
        char plain = '?';
        if (lead == symbols && trail == (euc ? 0xA1u : 0x40u)) {
            plain = ' ';
        } else if (lead == symbols && trail == (euc ? 0xE1u : 0x81u)) {
            plain = '=';
        } else if (lead == letters) {
            const unsigned digit0 = euc ? 0xB0 : 0x4F;
            const unsigned upper_a = euc ? 0xC1 : 0x60;
            const unsigned lower_a = euc ? 0xE1 : 0x81;
            if (trail >= digit0 && trail < digit0 + 10) plain = static_cast<char>('0' + (trail - digit0));
            if (trail >= upper_a && trail < upper_a + 26) plain = static_cast<char>('A' + (trail - upper_a));
            if (trail >= lower_a && trail < lower_a + 26) plain = static_cast<char>('a' + (trail - lower_a));
        }
        text += plain;
    }
    return text;
}

// The line as an input method may have typed it, in plain ASCII where it
// can be: full-width letters, digits and signs ("ｋｅｅｐ＝３０") become
// their ASCII forms, and every kind of space a plain one, so that a setting
// typed so is read as one and never passes for prose.
std::string folded(std::string_view line) {
    std::string text;
    for (std::size_t i = 0; i < line.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(line[i + k]); };
        const std::size_t left = line.size() - i;
        std::uint32_t c = 0;
        std::size_t size = 1;
        if (byte(0) == 0xC2 && left >= 2) {
            c = 0x80 | (byte(1) & 0x3F);
            size = 2;
        } else if ((byte(0) & 0xF0) == 0xE0 && left >= 3) {
            c = (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
            size = 3;
        }
        if (c >= 0xFF01 && c <= 0xFF5E) {
            text += static_cast<char>(c - 0xFF01 + 0x21);
        } else if (c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F ||
                   c == 0x3000 || c == 0xFEFF) {
            text += ' ';
        } else {
            text.append(line.substr(i, size));
        }
        i += size;
    }
    return text;
}

// An absolute path whose file name ends in ".prom": the exporters publish
// only such names, and a relative one would land wherever Brevalt was
// started. Absolute as this system reads paths (BREVALT_DRIVE_PATHS: a
// drive's "C:\" or a share's "\\server\"), told by hand, as
// std::filesystem would bring the exception runtime into the Windows program.
bool metrics_path_value(std::string_view text) {
    constexpr std::string_view suffix = ".prom";
    if (text.size() <= suffix.size() || text.substr(text.size() - suffix.size()) != suffix) return false;
    const std::string_view name = text.substr(text.find_last_of(BREVALT_DRIVE_PATHS ? "/\\" : "/") + 1);
    if (name.size() <= suffix.size()) return false;
    if (!BREVALT_DRIVE_PATHS) return text.front() == '/';
    const bool drive = text.size() > 3 && std::isalpha(static_cast<unsigned char>(text[0])) != 0 && text[1] == ':' &&
                       (text[2] == '\\' || text[2] == '/');
    return drive || text.substr(0, 2) == "\\\\";
}

// The settings on the lines after the first.
class LaterLines {
public:
    LaterLines(Settings& settings, std::string_view file_name) : settings_(settings), file_name_(file_name) {}

    std::optional<SettingsError> read(std::string_view as_written, unsigned number) {
        as_written = trimmed(as_written);
        // A line of UTF-16 appended to a file in another encoding: its
        // letters would read as prose, a setting silently lost.
        if (as_written.find('\0') != std::string_view::npos) {
            return error_for(TextId::settings_mixed_utf16, file_name_, {std::to_string(number)});
        }
        // Saved in a legacy Japanese encoding: "keep＝1" would read as prose
        // and be dropped. Prose stays prose; a setting is refused.
        if (!valid_utf8(as_written)) {
            for (const bool euc : {false, true}) {
                const std::string plain = legacy_folded(as_written, euc);
                const std::string_view line = trimmed(plain);
                const std::string_view first = line.substr(0, line.find_first_not_of(
                    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
                if (same_word(first, "keep") || same_word(first, "compress") || same_word(first, "metrics")) {
                    return error_for(TextId::settings_legacy_encoding, file_name_, {std::to_string(number)});
                }
            }
        }
        const std::string plain = folded(as_written);
        const std::string_view line = trimmed(plain);
        if (line.empty() || line.front() == '#') return std::nullopt;
        const std::size_t equals = line.find('=');
        const std::string_view name = trimmed(line.substr(0, equals));
        if (equals == std::string_view::npos || !is_word(name)) {
            // Prose, unless it opens with a setting's name: "keep 30" meant
            // something and must not pass for a remark.
            const std::string_view first = line.substr(0, line.find_first_of(" \t=:"));
            if (same_word(first, "keep") || same_word(first, "compress") || same_word(first, "metrics")) {
                return bad(TextId::settings_not_name_value, number, as_written);
            }
            return std::nullopt;
        }
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (same_word(name, "keep")) {
            if (keep_line_ != 0) return twice(number, keep_line_, "keep");
            keep_line_ = number;
            settings_.keeping.keep_dates = keep_value(value);
            if (settings_.keeping.keep_dates == 0) return bad(TextId::settings_bad_keep, number, as_written);
        } else if (same_word(name, "compress")) {
            if (compress_line_ != 0) return twice(number, compress_line_, "compress");
            compress_line_ = number;
            if (!same_word(value, "yes") && !same_word(value, "no")) {
                return bad(TextId::settings_bad_compress, number, as_written);
            }
            settings_.keeping.compress = same_word(value, "yes");
        } else if (same_word(name, "metrics")) {
            if (metrics_line_ != 0) return twice(number, metrics_line_, "metrics");
            metrics_line_ = number;
            // A path is taken as written: folding would change a name.
            const std::size_t sign = as_written.find('=');
            const std::string_view path = sign == std::string_view::npos ? value : trimmed(as_written.substr(sign + 1));
            if (!metrics_path_value(path)) return bad(TextId::settings_bad_metrics, number, as_written);
            settings_.metrics_path = std::string(path);
        } else {
            settings_.warnings.push_back(
                text_for(TextId::settings_unknown_name, file_name_, {std::string(name), std::to_string(number)}));
        }
        return std::nullopt;
    }

private:
    SettingsError bad(TextId id, unsigned number, std::string_view line) const {
        return error_for(id, file_name_, {std::to_string(number), std::string(line)});
    }
    SettingsError twice(unsigned number, unsigned first, std::string_view name) const {
        return error_for(TextId::settings_given_twice, file_name_,
                         {std::string(name), std::to_string(first), std::to_string(number)});
    }

    Settings& settings_;
    std::string_view file_name_;
    unsigned keep_line_ = 0;
    unsigned compress_line_ = 0;
    unsigned metrics_line_ = 0;
};

}  // namespace

std::variant<Settings, SettingsError> parse_settings(std::string_view bytes, std::string_view file_name) {
    if (bytes.empty()) return error_for(TextId::settings_empty, file_name);
    const std::optional<Utf16Text> utf8 = from_utf16(bytes);
    if (utf8 && utf8->bad_line != 0) {
        return error_for(TextId::settings_not_utf16, file_name, {std::to_string(utf8->bad_line)});
    }
    if (utf8) bytes = utf8->text;

    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (bytes.substr(0, bom.size()) == bom) bytes.remove_prefix(bom.size());

    std::size_t i = 0;
    while (i < bytes.size() && is_blank(bytes[i])) ++i;
    if (i == bytes.size() || is_line_end(bytes[i])) return error_for(TextId::settings_no_time, file_name);
    // '#' starts a remark on every other line; on the first, it would be a
    // time that never matches and the logs would never be rotated.
    if (bytes[i] == '#') {
        const std::size_t end = bytes.find_first_of("\r\n", i);
        return error_for(TextId::settings_first_line_remark, file_name,
                         {std::string(bytes.substr(i, end == std::string_view::npos ? end : end - i))});
    }

    Settings settings;
    if (bytes[i] == '"') {
        const std::size_t start = i + 1;
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '"' && !is_line_end(bytes[end])) ++end;
        settings.rotation_time = std::string(bytes.substr(start, end - start));
    } else {
        const std::size_t start = i;
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != ',' && !is_line_end(bytes[end])) ++end;
        while (end > start && is_blank(bytes[end - 1])) --end;
        settings.rotation_time = std::string(bytes.substr(start, end - start));
    }

    // A line ends at CR, LF or CR LF, as the first line does.
    LaterLines later(settings, file_name);
    std::size_t line_start = bytes.find_first_of("\r\n");
    for (unsigned number = 2; line_start != std::string_view::npos; ++number) {
        line_start += bytes.compare(line_start, 2, "\r\n") == 0 ? 2 : 1;
        if (line_start >= bytes.size()) break;
        const std::size_t line_end = bytes.find_first_of("\r\n", line_start);
        if (auto error = later.read(bytes.substr(line_start, line_end - line_start), number)) return *error;
        line_start = line_end;
    }
    return settings;
}

FileHandle open_not_inherited(const std::string& path) {
    // The C library's own flag for it ("e" in glibc, "N" in the Windows
    // runtime), given by the build.
    return FileHandle(std::fopen(path.c_str(), BREVALT_READ_NOT_INHERITED));
}

std::variant<Settings, SettingsError> read_settings(const std::string& path,
                                                    const std::function<std::string(int)>& error_text) {
    errno = 0;
    const FileHandle file = open_not_inherited(path);
    if (!file) {
        return error_for(TextId::settings_unreadable, path, {system_reason(error_text, "it cannot be opened")});
    }

    // Settings fill a few lines; anything past the limit is never looked
    // at, so a stray large file costs nothing. One byte more than the limit
    // tells such a file apart: its last line, cut short, could read as a
    // smaller keep than was written, so it is dropped.
    constexpr std::size_t k_limit = 64 * 1024;
    std::string bytes(k_limit + 1, '\0');
    errno = 0;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        return error_for(TextId::settings_unreadable, path, {system_reason(error_text, "it cannot be read")});
    }
    bytes.resize(got);
    const bool cut = got > k_limit;
    if (cut) {
        const std::size_t last_line_end = bytes.find_last_of("\r\n", k_limit - 1);
        bytes.resize(last_line_end == std::string::npos ? k_limit : last_line_end);
    }
    auto settings = parse_settings(bytes, path);
    if (auto* read = std::get_if<Settings>(&settings); read && cut) {
        read->warnings.push_back(text_for(TextId::settings_too_large, path));
    }
    return settings;
}

}  // namespace brevalt
