#pragma once

#include <QObject>

class QSocketNotifier;

// Word that the desktop session is ending, or that the settings are to be
// read again: a session manager that speaks no session protocol (LXQt's, or
// a display manager) sends SIGTERM to the programs it started, a terminal's
// Ctrl+C sends SIGINT, and an operator sends SIGHUP, as to any daemon, to
// have the settings read again. The signals are turned into an event on
// the window's thread, so the window ends the session there, between two of
// its handlers. A session manager that speaks XSMP (Xfce's) asks the program
// to quit instead, and the display server's end ends the process; the
// window's owner sees both as the event loop or the process ending.
class SessionEnd final : public QObject {
    Q_OBJECT

public:
    explicit SessionEnd(QObject* parent = nullptr);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

signals:
    // A signal came, from the process and user the system names.
    void signalled(int signal_number, qint64 sender_pid, quint32 sender_uid);

private:
    QSocketNotifier* notifier_ = nullptr;
};

// Tells the session manager, if Brevalt talks to one, never to save Brevalt
// in a session and start it again at the next logon: the start at logon is
// its autostart entry's, which starts it in its settings folder and for
// operators only, and a restored copy would be a second Brevalt.
void never_restart_with_session();
