#include "control/protocol.h"

#include <charconv>

namespace brevalt {

namespace {

constexpr std::string_view k_blanks = " \t";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(k_blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(k_blanks) - first + 1);
}

// A value is one line whatever it holds: a failure's text may carry a
// newline, which would otherwise end the block early or forge a key.
void add_field(std::string& block, std::string_view key, std::string_view value) {
    if (value.empty()) return;
    block.append(key).append(": ");
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        block += (byte < 0x20 || byte == 0x7f) ? ' ' : c;
    }
    block += '\n';
}

std::string first_line(std::string_view result, std::string_view request) {
    std::string line(result);
    return line.append(" ").append(request).append("\n");
}

std::string message_block(std::string_view result, std::string_view request, std::string_view message) {
    std::string block = first_line(result, request);
    add_field(block, "message", message);
    return block + "\n";
}

std::optional<long> number_of(std::string_view text) {
    long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return number;
}

}  // namespace

std::string greeting() { return "brevalt " + std::to_string(k_protocol_version) + "\n"; }

std::optional<int> greeting_version(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    constexpr std::string_view name = "brevalt ";
    if (line.substr(0, name.size()) != name) return std::nullopt;
    const std::optional<long> version = number_of(line.substr(name.size()));
    if (!version || *version < 1) return std::nullopt;
    return static_cast<int>(*version);
}

const char* request_name(ControlRequest request) {
    switch (request) {
        case ControlRequest::status: return "status";
        case ControlRequest::start: return "start";
        case ControlRequest::stop: return "stop";
        case ControlRequest::rotate: return "rotate";
        case ControlRequest::subscribe: return "subscribe";
    }
    return "request";
}

std::optional<ControlRequest> parse_request(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view word = trimmed(line);
    for (const ControlRequest request : {ControlRequest::status, ControlRequest::start, ControlRequest::stop,
                                         ControlRequest::rotate, ControlRequest::subscribe}) {
        if (word == request_name(request)) return request;
    }
    return std::nullopt;
}

std::string state_reply(std::string_view result_line, const ControlState& state) {
    std::string block(result_line);
    block += '\n';
    add_field(block, "sensor", state_name(state.sensor));
    if (state.pid) add_field(block, "pid", std::to_string(*state.pid));
    add_field(block, "since", state.since);
    add_field(block, "rotation-time", state.rotation_time);
    add_field(block, "next-rotation", state.next_rotation.empty() ? "never" : state.next_rotation);
    add_field(block, "last-rotation", state.last_rotation);
    add_field(block, "last-failure", state.last_failure);
    add_field(block, "last-failure-at", state.last_failure_at);
    add_field(block, "served-by", state.served_by);
    add_field(block, "mode", state.mode);
    add_field(block, "user", state.user);
    return block + "\n";
}

std::string outcome_reply(ControlRequest request, const ControlOutcome& outcome) {
    const char* result = outcome.result == ControlOutcome::Result::done      ? "ok"
                         : outcome.result == ControlOutcome::Result::refused ? "refused"
                                                                              : "failed";
    return message_block(result, request_name(request), outcome.message);
}

std::string subscribed_reply() { return "ok subscribe\n\n"; }
std::string denied_reply(std::string_view message) { return message_block("denied", "request", message); }
std::string error_reply(std::string_view message) { return message_block("error", "request", message); }

std::string ReplyBlock::field(std::string_view key) const {
    for (const auto& [name, value] : fields) {
        if (name == key) return value;
    }
    return {};
}

std::optional<ReplyBlock> take_reply_block(std::string& buffer) {
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = buffer.find('\n', at);
        if (end == std::string::npos) return std::nullopt;
        std::string_view line(buffer.data() + at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        lines.push_back(line);
    }
    ReplyBlock block;
    if (!lines.empty()) {
        const std::string_view head = lines.front();
        const auto space = head.find(' ');
        if (space != std::string_view::npos && space > 0 && space + 1 < head.size()) {
            block.result = head.substr(0, space);
            block.request = head.substr(space + 1);
        }
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const auto colon = lines[i].find(':');
            if (colon == std::string_view::npos) continue;
            std::string_view value = lines[i].substr(colon + 1);
            if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            block.fields.emplace_back(lines[i].substr(0, colon), value);
        }
    }
    buffer.erase(0, at);
    return block;
}

std::optional<ControlState> state_of(const ReplyBlock& block) {
    ControlState state;
    const std::string sensor = block.field("sensor");
    bool known = false;
    for (const SensorState candidate : k_sensor_states) {
        if (sensor == state_name(candidate)) {
            state.sensor = candidate;
            known = true;
        }
    }
    if (!known) return std::nullopt;
    if (const std::string pid = block.field("pid"); !pid.empty()) state.pid = number_of(pid);
    state.since = block.field("since");
    state.rotation_time = block.field("rotation-time");
    state.next_rotation = block.field("next-rotation");
    if (state.next_rotation == "never") state.next_rotation.clear();
    state.last_rotation = block.field("last-rotation");
    state.last_failure = block.field("last-failure");
    state.last_failure_at = block.field("last-failure-at");
    state.served_by = block.field("served-by");
    state.mode = block.field("mode");
    state.user = block.field("user");
    return state;
}

}  // namespace brevalt
