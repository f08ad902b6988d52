#pragma once

#include "app/shell.h"

// Where the program shows itself: the icon in the notification area, and
// the window only when the operator opens it, or when there is no icon to
// come back through. Shared by every program over a shell.
namespace brevalt {

class WindowPresence {
public:
    explicit WindowPresence(Shell& shell) : shell_(shell) {}

    // At start-up: the window hidden and the icon placed, or the window
    // kept on screen where no notification area takes the icon.
    void appear();
    // A notification area has come up, or came back: put the icon there,
    // and hide a window shown only for want of it.
    void place_icon();
    // The left button on the icon.
    void icon_clicked();

private:
    // Why the window is on screen, which decides whether an icon that comes
    // in may hide it again.
    enum class WindowState { hidden, shown_for_missing_icon, opened_by_operator };

    Shell& shell_;
    WindowState window_ = WindowState::hidden;
};

}  // namespace brevalt
