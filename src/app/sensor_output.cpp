#include "app/sensor_output.h"

#include <cstdio>

#include "app/settings.h"

namespace brevalt {

namespace {

// A sensor's error line is short; one that is not is cut, not dropped.
constexpr long k_tail_bytes = 4096;
constexpr std::size_t k_longest_line = 300;

bool is_blank_line(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::string last_line_of(const std::string& path) {
    // Never inherited: a sensor started meanwhile must not hold it.
    const FileHandle file = open_not_inherited(path);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return {};
    const long size = std::ftell(file.get());
    if (size <= 0) return {};
    const long start = size > k_tail_bytes ? size - k_tail_bytes : 0;
    if (std::fseek(file.get(), start, SEEK_SET) != 0) return {};
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    tail.resize(std::fread(tail.data(), 1, tail.size(), file.get()));

    std::string line;
    std::size_t end = tail.size();
    while (end > 0) {
        const std::size_t newline = tail.rfind('\n', end - 1);
        const std::size_t begin = newline == std::string::npos ? 0 : newline + 1;
        line = tail.substr(begin, end - begin);
        if (!is_blank_line(line) || newline == std::string::npos) break;
        end = newline;
    }
    std::string shown;
    for (const char c : line) {
        // Escapes and carriage returns would garble a notification; bytes of
        // UTF-8 pass.
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) shown += c;
        else if (c == '\t') shown += ' ';
    }
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
    if (shown.size() > k_longest_line) {
        std::size_t cut = k_longest_line;
        // Never in the middle of a character.
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
        shown = shown.substr(0, cut) + "...";
    }
    return shown;
}

}  // namespace brevalt
