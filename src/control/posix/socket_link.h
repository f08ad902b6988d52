#pragma once

#include <string>

#include "control/control_link.h"

// The view's link to the machine's service over its Unix socket.
namespace brevalt {

class SocketLink final : public ControlLink {
public:
    explicit SocketLink(std::string path) : path_(std::move(path)) {}
    ~SocketLink() override { close(); }
    SocketLink(const SocketLink&) = delete;
    SocketLink& operator=(const SocketLink&) = delete;

    // Whether a server listens at `path`, letting this user in or not.
    static bool listened_at(const std::string& path);

    bool subscribe() override;
    [[nodiscard]] std::optional<std::intptr_t> handle() const override;
    Arrived take() override;
    [[nodiscard]] std::string why() const override { return why_; }
    ControlAnswer act(ControlRequest request) override;

private:
    void close();

    std::string path_;
    int fd_ = -1;
    bool greeted_ = false;
    std::string buffer_;
    std::string why_;
};

}  // namespace brevalt
