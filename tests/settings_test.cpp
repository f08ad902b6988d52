#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#endif

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "app/settings.h"
#include "fakes.h"

namespace brevalt {
namespace {

// The time read, or "error: " and the message.
std::string shown(const std::variant<Settings, SettingsError>& result) {
    if (const auto* error = std::get_if<SettingsError>(&result)) return "error: " + error->message;
    return std::get<Settings>(result).rotation_time;
}
std::string value_of(std::string_view bytes) { return shown(parse_settings(bytes)); }

// A quoted field loses its quotes and keeps commas and blanks; blanks around
// an unquoted one are dropped; a leading byte-order mark is no part of it.
TEST(SettingsField, FirstFieldOfTheFirstLineIsTheTime) {
    EXPECT_EQ(value_of("\"03:30\"\n"), "03:30");
    EXPECT_EQ(value_of("\" 03:30 \""), " 03:30 ");
    EXPECT_EQ(value_of("\"03,30\""), "03,30");
    // An unterminated quote stops at the end of its line, not in the next one.
    EXPECT_EQ(value_of("\"03:30\n04:00\""), "03:30");
    EXPECT_EQ(value_of("   03:30\n"), "03:30");
    EXPECT_EQ(value_of("\t03:30  \t\r\n"), "03:30");
    EXPECT_EQ(value_of("  03:30 , 04:00"), "03:30");
    EXPECT_EQ(value_of("  \"03:30\"  "), "03:30");
    EXPECT_EQ(value_of("03:30\r04:00"), "03:30");
    EXPECT_EQ(value_of("3:30\n"), "3:30");  // accepted as written; it simply never matches
    EXPECT_EQ(value_of("\xEF\xBB\xBF" "03:30\r\n"), "03:30");
    EXPECT_EQ(value_of("\xEF\xBB\xBF\"03:30\""), "03:30");
}

TEST(SettingsField, EmptyOrBlankFirstLineIsAnErrorNamingTheFile) {
    for (std::string_view bytes : {std::string_view(""), std::string_view("\n03:30\n"), std::string_view("   \r\n"),
                                   std::string_view("\xEF\xBB\xBF")}) {
        auto result = parse_settings(bytes);
        ASSERT_TRUE(std::holds_alternative<SettingsError>(result)) << "bytes: " << bytes;
        EXPECT_NE(std::get<SettingsError>(result).message.find("brevalt.ini"), std::string::npos);
    }
    EXPECT_NE(value_of("").find("empty"), std::string::npos);
}

TEST(SettingsFile, MissingEmptyAndUnreadableFilesGiveTheReason) {
    test::TempDir dir;
    const std::string path = (dir / "brevalt.ini").string();
    EXPECT_EQ(shown(read_settings(path)),
              "error: Cannot use the settings file \"" + path + "\", read from the current directory: No such file or directory");
    test::write_file(path, "");
    EXPECT_NE(shown(read_settings(path)).find("empty"), std::string::npos);
    // A folder where the file should be cannot be read as text.
    EXPECT_EQ(shown(read_settings(dir.path().string())).rfind("error: ", 0), 0U);
    test::write_file(path, "21:05\r\n");
    EXPECT_EQ(shown(read_settings(path)), "21:05");
    // Past 64 KiB nothing is read, and a keep=365 cut to keep=3 is dropped.
    std::string large = "21:05\n" + std::string(64 * 1024 - 6 - 7, '#') + "\nkeep=365\n";
    test::write_file(path, large);
    const auto cut = std::get<Settings>(read_settings(path));
    EXPECT_EQ(cut.keeping.keep_dates, 0u);
    EXPECT_EQ(cut.warnings.size(), 1u);
}

// Later lines: both settings off unless given; the prose that files of
// earlier versions hold under the time stays a remark; anything that could
// misread a keep stops the start, naming the line.
TEST(SettingsLines, KeepAndCompressOnLaterLines) {
    const auto read = [](std::string_view bytes) { return std::get<Settings>(parse_settings(bytes)); };
    const Settings old = read("03:30\nThe first line holds the daily rotation time, HH:MM.\n");
    EXPECT_EQ(old.keeping.keep_dates, 0u);
    EXPECT_FALSE(old.keeping.compress);
    EXPECT_TRUE(old.warnings.empty());

    const Settings given = read("03:30\r\n\r\n# keep=1\n  Keep = 30 \r compress=YES\nlater=1\r\n");
    EXPECT_EQ(given.rotation_time, "03:30");
    EXPECT_EQ(given.keeping.keep_dates, 30u);
    EXPECT_TRUE(given.keeping.compress);
    ASSERT_EQ(given.warnings.size(), 1u);
    EXPECT_NE(english(given.warnings[0]).find("\"later\" on line 6"), std::string::npos);
    EXPECT_EQ(read("03:30\nkeep=3650\ncompress=no\n").keeping.keep_dates, 3650u);

    for (const char* bad : {"keep=0", "keep=3651", "keep=-1", "keep=ten", "keep=", "keep=30x", "keep 30",
                            "compress=maybe", "keep=3\nkeep=4"}) {
        const std::string shown_error = value_of(std::string("03:30\n") + bad + "\n");
        EXPECT_EQ(shown_error.rfind("error: ", 0), 0u) << bad;
        EXPECT_NE(shown_error.find("line"), std::string::npos) << shown_error;
    }

    // As an input method or Windows PowerShell writes them: full-width forms
    // and other spaces fold to the setting, never to prose.
    for (const char* typed : {"keep＝30", "ｋｅｅｐ=３０", "keep\u00A0=30", "keep\u3000＝\u300030"}) {
        EXPECT_EQ(read(std::string("03:30\n") + typed + "\n").keeping.keep_dates, 30u) << typed;
    }
    EXPECT_NE(value_of("03:30\nｋｅｅｐ＝ｔｅｎ\n").find("line 2 \"ｋｅｅｐ＝ｔｅｎ\""), std::string::npos);
    const std::u16string wide = u"03:30\r\nkeep=30\r\ncompress＝yes\r\n";
    std::string utf16le = "\xFF\xFE";
    std::string utf16be = "\xFE\xFF";
    for (const char16_t c : wide) {
        utf16le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    }
    for (const std::string& file : {utf16le, utf16be}) {
        const Settings utf16 = read(file);
        EXPECT_EQ(utf16.rotation_time, "03:30");
        EXPECT_EQ(utf16.keeping.keep_dates, 30u);
        EXPECT_TRUE(utf16.keeping.compress);
    }
    // UTF-16 appended to a UTF-8 file: refused, naming the line and the encoding.
    const std::string appended = value_of(std::string("03:30\r\n") + utf16le.substr(2 + 14));
    EXPECT_NE(appended.find("line 2 holds text in UTF-16"), std::string::npos) << appended;
}

// What cmd's echo appends to a file Windows PowerShell wrote, and what an
// editor saves in Shift_JIS or EUC-JP: plain ASCII after UTF-16 is read,
// anything that would need a guess stops the start naming its line, and a
// setting in a legacy encoding is never taken for prose.
TEST(SettingsLines, AppendedOrLegacyEncodedSettingsAreReadOrRefusedNeverDropped) {
    std::string utf16le = "\xFF\xFE";
    for (const char c : std::string("03:30\r\n")) utf16le += {c, '\0'};
    const auto read = parse_settings(utf16le + "keep=1\r\ncompress=yes\r\n");
    ASSERT_TRUE(std::holds_alternative<Settings>(read)) << shown(read);
    EXPECT_EQ(std::get<Settings>(read).keeping.keep_dates, 1u);
    EXPECT_TRUE(std::get<Settings>(read).keeping.compress);

    // "keep＝1" from a console in code page 932: its sign is no ASCII.
    const std::string appended = value_of(utf16le + "keep\x81\x81" "1\r\n");
    EXPECT_NE(appended.find("line 2 is not in the UTF-16"), std::string::npos) << appended;

    for (const char* legacy : {"keep\x81\x81" "1", "\x81\x40" "compress=yes", "\x82\x8B\x82\x85\x82\x85\x82\x90=1",
                               "keep\xA1\xE1" "1", "\xA1\xA1" "compress=yes"}) {
        const std::string refused = value_of(std::string("03:30\n# \x83\x81\x83\x82\n") + legacy + "\n");
        EXPECT_NE(refused.find("line 3 is not UTF-8"), std::string::npos) << refused;
    }
    // Prose in Shift_JIS under the time, as files of earlier versions hold it.
    EXPECT_EQ(value_of("03:30\n\x83\x8D\x81\x5B\x83\x65\x81\x5B\x83\x56\x83\x87\x83\x93\n"), "03:30");
}

// The metrics file: off unless given; only an absolute path to a name the
// exporters publish, since a relative one would land wherever Brevalt was
// started and a wrong name would never be read.
TEST(SettingsLines, MetricsTakesAnAbsolutePathEndingInProm) {
#ifdef _WIN32
    const std::string root = "C:\\ProgramData\\";
#else
    const std::string root = "/var/opt/brevalt/";
#endif
    EXPECT_TRUE(std::get<Settings>(parse_settings("03:30\n")).metrics_path.empty());
    const auto given = parse_settings("03:30\n Metrics = " + root + "brevalt.prom \n");
    EXPECT_EQ(std::get<Settings>(given).metrics_path, root + "brevalt.prom");
    for (const std::string& bad : std::vector<std::string>{"metrics=brevalt.prom", "metrics=" + root + "brevalt.txt", "metrics=" + root + ".prom",
                                  "metrics=", "metrics " + root + "b.prom",
                                  "metrics=" + root + "a.prom\nmetrics=" + root + "b.prom"}) {
        const std::string shown_error = value_of("03:30\n" + bad + "\n");
        EXPECT_EQ(shown_error.rfind("error: ", 0), 0u) << bad;
        EXPECT_NE(shown_error.find("line"), std::string::npos) << shown_error;
    }
}

// The sensor is started with handle inheritance on; it must never hold the
// settings file open, whatever the order of calls.
TEST(SettingsFile, NoChildProcessInheritsIt) {
    test::TempDir dir;
    test::write_file(dir / "brevalt.ini", "03:30");
    const FileHandle file = open_not_inherited((dir / "brevalt.ini").string());
    ASSERT_TRUE(file);
#ifdef _WIN32
    DWORD flags = 0;
    ASSERT_TRUE(::GetHandleInformation(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file.get()))), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
#else
    EXPECT_NE(::fcntl(::fileno(file.get()), F_GETFD) & FD_CLOEXEC, 0);
#endif
}

}  // namespace
}  // namespace brevalt
