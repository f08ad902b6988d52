#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/control_state.h"

// The control channel's words, the same on every system and every carrier
// (a Unix socket, a named pipe). Lines end in LF. The server speaks first
// ("brevalt 1"); a client sends one request a line; every reply is a block:
// "<result> <request>", then "key: value" lines, then an empty line. Keys
// are only ever added, never changed: a reader skips those it does not know.
namespace brevalt {

inline constexpr int k_protocol_version = 1;
// A longer line is no request of this protocol: the server says so and
// closes, rather than keep buffering what a stranger sends.
inline constexpr std::size_t k_max_request_line = 256;

// "brevalt 1\n"
std::string greeting();
// The version a greeting line announces (with or without its LF); nothing
// where the line is no Brevalt's.
std::optional<int> greeting_version(std::string_view line);

// One request line without its LF; a CR before it and blanks around the
// word are not part of it. Nothing where the word is none of the requests.
std::optional<ControlRequest> parse_request(std::string_view line);
const char* request_name(ControlRequest request);

// Reply blocks, each ending in its empty line.
std::string state_reply(std::string_view result_line, const ControlState& state);  // "ok status", "ok state"
std::string outcome_reply(ControlRequest request, const ControlOutcome& outcome);
std::string subscribed_reply();                        // "ok subscribe"
std::string denied_reply(std::string_view message);    // "denied request"
std::string error_reply(std::string_view message);     // "error request"

// A block as a reader sees it.
struct ReplyBlock {
    std::string result;   // ok, refused, failed, denied, error
    std::string request;  // the request word, "state", or "request"
    std::vector<std::pair<std::string, std::string>> fields;

    // The value of `key`; empty where the block has none.
    [[nodiscard]] std::string field(std::string_view key) const;
};

// Takes the first whole block off the front of `buffer`, as bytes arrive;
// nothing while the block is still incomplete. A malformed first line gives
// a block with an empty result.
std::optional<ReplyBlock> take_reply_block(std::string& buffer);

// The state a state block carries; nothing where it names no known state.
std::optional<ControlState> state_of(const ReplyBlock& block);

}  // namespace brevalt
