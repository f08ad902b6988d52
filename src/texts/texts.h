#pragma once

#include <string>
#include <string_view>
#include <vector>

// Every text Brevalt shows the operator beyond the window's own captions:
// notifications, the icon's tooltip, the start-up error. The system log and
// standard error take the English form; the operator sees the form the shell
// gives for the session's language, with the same %1, %2, ... filled in.
namespace brevalt {

// The numbers are part of the Windows resources (string id = k_text_id_base
// + the number): append new texts at the end, never renumber.
enum class TextId : int {
    sensor_start_failed,
    sensor_not_found,
    sensor_exited,
    sensor_signalled,
    sensor_ended,
    sensor_given_up,
    sensor_started_again,
    sensor_taken_over,
    sensor_already_runs,
    rotation_caught_up,
    logs_rotated,
    log_kept_name,
    log_not_renamed,
    disk_nearly_full,
    tip_running,
    tip_stopped,
    tip_given_up,
    tip_start_failed,
    tip_ended,
    settings_unreadable,
    settings_empty,
    settings_no_time,
    not_operator_posix,
    not_operator_windows,
    not_operator_windows_admin,
    folder_held,
    folder_held_by,
    folder_left_by_other_user,
    folder_unsure,
    folder_missing,
    settings_not_name_value,
    settings_bad_keep,
    settings_bad_compress,
    settings_given_twice,
    settings_unknown_name,
    settings_too_large,
    kept_deleted,
    kept_compressed,
    keep_delete_failed,
    keep_delete_failed_many,
    keep_compress_failed,
    keep_compress_failed_many,
    keep_folder_unreadable,
    keep_volume_cannot,
    standby_served_by,
    standby_unwatched_sensor,
    standby_over,
    standby_refuses,
    tip_served_by,
    tip_unwatched_sensor,
    keep_gz_differs,
    keep_log_in_use,
    clock_behind,
    settings_mixed_utf16,
    settings_bad_metrics,
    metrics_not_written,
    metrics_written_again,
    rotation_time_never_matches,
    tip_running_unscheduled,
    tip_stopped_unscheduled,
    tip_given_up_unscheduled,
    tip_start_failed_unscheduled,
    tip_ended_unscheduled,
    log_folder_missing,
    rotation_without_log_folder,
    started,
    started_taken_over,
    no_rotation,
    sensor_exited_saying,
    sensor_signalled_saying,
    sensor_ended_saying,
    standby_held_by_unknown,
    standby_refuses_unknown,
    tip_held_by_unknown,
    record_unwritten,
    network_log_folder,
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

// The English form, with %1, %2, ... where the arguments go. Also the source
// text that Qt's translations are looked up by.
std::string_view english_form(TextId id);

// `form` with each %N (N = 1..9) replaced by args[N-1]; a % not followed by
// a digit with an argument stays as it is.
std::string format(std::string_view form, const std::vector<std::string>& args);

inline std::string english(const Text& text) { return format(english_form(text.id), text.args); }

}  // namespace brevalt
