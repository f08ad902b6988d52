#include "app/settings.h"

#include <cerrno>
#include <cstring>

namespace brevalt {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }

SettingsError error_for(TextId id, std::string_view file_name, std::string reason = {}) {
    Text text{id, {std::string(file_name)}};
    if (!reason.empty()) text.args.push_back(std::move(reason));
    return {english(text), std::move(text)};
}

std::string system_reason(const std::function<std::string(int)>& error_text, const char* otherwise) {
    if (errno == 0) return otherwise;
    return error_text ? error_text(errno) : std::strerror(errno);
}

}  // namespace

std::variant<std::string, SettingsError> parse_settings(std::string_view bytes, std::string_view file_name) {
    if (bytes.empty()) return error_for(TextId::settings_empty, file_name);

    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (bytes.substr(0, bom.size()) == bom) bytes.remove_prefix(bom.size());

    std::size_t i = 0;
    while (i < bytes.size() && is_blank(bytes[i])) ++i;
    if (i == bytes.size() || is_line_end(bytes[i]))
        return error_for(TextId::settings_no_time, file_name);

    if (bytes[i] == '"') {
        const std::size_t start = i + 1;
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '"' && !is_line_end(bytes[end])) ++end;
        return std::string(bytes.substr(start, end - start));
    }

    const std::size_t start = i;
    std::size_t end = start;
    while (end < bytes.size() && bytes[end] != ',' && !is_line_end(bytes[end])) ++end;
    while (end > start && is_blank(bytes[end - 1])) --end;
    return std::string(bytes.substr(start, end - start));
}

FileHandle open_not_inherited(const std::string& path) {
    // The C library's own flag for it ("e" in glibc, "N" in the Windows
    // runtime), given by the build.
    return FileHandle(std::fopen(path.c_str(), BREVALT_READ_NOT_INHERITED));
}

std::variant<std::string, SettingsError> read_settings(const std::string& path,
                                                       const std::function<std::string(int)>& error_text) {
    errno = 0;
    const FileHandle file = open_not_inherited(path);
    if (!file) return error_for(TextId::settings_unreadable, path, system_reason(error_text, "it cannot be opened"));

    // The time sits on the first line; anything past a few kilobytes is
    // never looked at, so a stray large file costs nothing.
    std::string bytes(4096, '\0');
    errno = 0;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        return error_for(TextId::settings_unreadable, path, system_reason(error_text, "it cannot be read"));
    }
    bytes.resize(got);
    return parse_settings(bytes, path);
}

}  // namespace brevalt
