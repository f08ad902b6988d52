#include "app/window_presence.h"

namespace brevalt {

void WindowPresence::appear() {
    shell_.hide_icon_picture();
    shell_.prepare_icon();
    shell_.hide_window();
    window_ = WindowState::hidden;
    place_icon();
}

void WindowPresence::place_icon() {
    if (shell_.register_icon()) {
        if (window_ == WindowState::shown_for_missing_icon) {
            shell_.hide_window();
            window_ = WindowState::hidden;
        }
        return;
    }
    // Without an icon there would be no way back to a hidden window.
    if (window_ == WindowState::hidden) {
        shell_.show_window();
        window_ = WindowState::shown_for_missing_icon;
    }
}

void WindowPresence::icon_clicked() {
    shell_.show_window();
    window_ = WindowState::opened_by_operator;
}

}  // namespace brevalt
