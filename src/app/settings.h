#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "keeping/log_keeping.h"
#include "texts/texts.h"

// The settings file: "brevalt.ini" in the current directory, holding the
// rotation time as its first field (for example a single line 03:30), and on
// later lines settings of the form name=value.
namespace brevalt {

inline constexpr const char* k_settings_file_name = "brevalt.ini";

struct SettingsError {
    std::string message;  // names the file and the reason, in English
    Text text;            // the same, for the operator's language
};

struct Settings {
    std::string rotation_time;
    KeepSettings keeping;
    // Where to write the metrics file; empty: none is written.
    std::string metrics_path;
    // Lines the program does not know, told once at start-up: a file
    // written for a later version still starts.
    std::vector<Text> warnings;
};

// The first field of the file's bytes, by the rules of sequential field input
// (a first line that is a remark, starting with '#', is an error):
// leading blanks skipped; a field opening with a double quote runs to the next
// double quote (or, unterminated, to the end of the line) and loses its
// quotes; any other field runs to the first comma or line end and loses its
// trailing blanks. A leading UTF-8 byte-order mark is dropped. A first line
// that holds only blanks gives an error rather than an empty time, so that an
// operator who left the file blank learns of it instead of never rotating.
//
// A later line whose text before its first '=' is a single word is a
// setting, blanks around the name and the value ignored: keep=N (1 to 3650)
// and compress=yes|no, names and words in any case; metrics=PATH, an
// absolute path ending in ".prom". A bad value of any,
// any given twice, or any named on a line that is no setting ("keep 30")
// is an error naming the line: a misread keep could delete logs. Any other
// name is a warning. Every other line is a remark: empty lines, lines
// starting with '#', and prose, which files written for earlier versions hold
// under the time.
std::variant<Settings, SettingsError> parse_settings(std::string_view bytes,
                                                        std::string_view file_name = k_settings_file_name);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading in binary mode, never inheritable: the sensor is
// started with handle inheritance on, and must not hold Brevalt's files.
FileHandle open_not_inherited(const std::string& path);

// Reads and parses the file at `path`. A missing, unreadable or empty file is
// an error whose message names the file and the reason, in the words of
// `error_text` for an error number (the C library's by default).
std::variant<Settings, SettingsError> read_settings(const std::string& path = k_settings_file_name,
                                                    const std::function<std::string(int)>& error_text = {});

}  // namespace brevalt
