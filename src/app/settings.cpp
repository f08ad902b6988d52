#include "app/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

namespace brevalt {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }

SettingsError error_for(std::string_view file_name, std::string_view reason) {
    std::string message = "Cannot use the settings file \"";
    message += file_name;
    message += "\": ";
    message += reason;
    return {std::move(message)};
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

// The settings on the lines after the first.
class LaterLines {
public:
    LaterLines(Settings& settings, std::string_view file_name) : settings_(settings), file_name_(file_name) {}

    std::optional<SettingsError> read(std::string_view line, unsigned number) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#') return std::nullopt;
        const std::size_t equals = line.find('=');
        const std::string_view name = trimmed(line.substr(0, equals));
        if (equals == std::string_view::npos || !is_word(name)) {
            // Prose, unless it opens with a setting's name: "keep 30" meant
            // something and must not pass for a remark.
            const std::string_view first = line.substr(0, line.find_first_of(" \t=:"));
            if (same_word(first, "keep") || same_word(first, "compress")) {
                return bad(number, line, "is not of the form name=value");
            }
            return std::nullopt;
        }
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (same_word(name, "keep")) {
            if (keep_line_ != 0) return twice(number, keep_line_, "keep");
            keep_line_ = number;
            settings_.keeping.keep_dates = keep_value(value);
            if (settings_.keeping.keep_dates == 0) {
                return bad(number, line, "keep takes the number of dates to keep, from 1 to 3650");
            }
        } else if (same_word(name, "compress")) {
            if (compress_line_ != 0) return twice(number, compress_line_, "compress");
            compress_line_ = number;
            if (!same_word(value, "yes") && !same_word(value, "no")) {
                return bad(number, line, "compress takes yes or no");
            }
            settings_.keeping.compress = same_word(value, "yes");
        } else {
            settings_.warnings.push_back("The settings file \"" + std::string(file_name_) + "\" names \"" +
                                         std::string(name) + "\" on line " + std::to_string(number) +
                                         ", which this version of Brevalt does not know: the line is ignored");
        }
        return std::nullopt;
    }

private:
    SettingsError bad(unsigned number, std::string_view line, std::string_view reason) const {
        return error_for(file_name_, "line " + std::to_string(number) + " \"" + std::string(line) + "\": " +
                                         std::string(reason));
    }
    SettingsError twice(unsigned number, unsigned first, std::string_view name) const {
        return error_for(file_name_, std::string(name) + " is given twice, on lines " + std::to_string(first) +
                                         " and " + std::to_string(number));
    }

    Settings& settings_;
    std::string_view file_name_;
    unsigned keep_line_ = 0;
    unsigned compress_line_ = 0;
};

}  // namespace

std::variant<Settings, SettingsError> parse_settings(std::string_view bytes, std::string_view file_name) {
    if (bytes.empty()) return error_for(file_name, "the file is empty");

    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (bytes.substr(0, bom.size()) == bom) bytes.remove_prefix(bom.size());

    std::size_t i = 0;
    while (i < bytes.size() && is_blank(bytes[i])) ++i;
    if (i == bytes.size() || is_line_end(bytes[i]))
        return error_for(file_name, "the first line holds no rotation time (expected HH:MM, e.g. 03:30)");

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

std::variant<Settings, SettingsError> read_settings(const std::string& path) {
    errno = 0;
    const FileHandle file = open_not_inherited(path);
    if (!file) return error_for(path, errno != 0 ? std::strerror(errno) : "it cannot be opened");

    // Settings fill a few lines; anything past the limit is never looked
    // at, so a stray large file costs nothing. One byte more than the limit
    // tells such a file apart: its last line, cut short, could read as a
    // smaller keep than was written, so it is dropped.
    constexpr std::size_t k_limit = 64 * 1024;
    std::string bytes(k_limit + 1, '\0');
    errno = 0;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) return error_for(path, errno != 0 ? std::strerror(errno) : "it cannot be read");
    bytes.resize(got);
    const bool cut = got > k_limit;
    if (cut) {
        const std::size_t last_line_end = bytes.find_last_of("\r\n", k_limit - 1);
        bytes.resize(last_line_end == std::string::npos ? k_limit : last_line_end);
    }
    auto settings = parse_settings(bytes, path);
    if (auto* read = std::get_if<Settings>(&settings); read && cut) {
        read->warnings.push_back("The settings file \"" + path + "\" is larger than 64 KiB: only its first 64 KiB are read");
    }
    return settings;
}

}  // namespace brevalt
