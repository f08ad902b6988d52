#pragma once

#include "platform/platform.h"

namespace brevalt {

// The real clock, sleep, program folder and rename of the machine the
// program runs on. One implementation per operating system, picked by the
// build.
class SystemPlatform final : public Platform {
public:
    LocalTime now() override;
    std::int64_t unix_time() override;
    void sleep_ms(unsigned milliseconds) override;
    ProgramDir program_dir() override;
    [[nodiscard]] char path_separator() const override;
    SysResult rename_no_replace(const std::string& from, const std::string& to) override;
    bool name_exists(const std::string& path) override;
    void log_event(Priority priority, std::string_view text) override;
    std::string error_text(int error) override;
    [[nodiscard]] bool name_taken(int error) const override;
    FreeSpace free_space(const std::string& folder) override;
    std::string absolute_path(const std::string& path) override;
    bool is_folder(const std::string& path) override;
    std::optional<Text> why_not_operator(const std::string& log_folder) override;
    std::string user_name() override;

    // Each system log line is also written to standard error, for a desktop
    // whose system log nobody reads; not where standard error is the system
    // log already (a service's, which the journal takes).
    bool echo_to_stderr = true;
};

}  // namespace brevalt
