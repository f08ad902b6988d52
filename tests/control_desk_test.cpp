// The control channel's desk over a real core, the state it reports, and
// the operators' view of the machine's service over a scripted link.
#include <gtest/gtest.h>

#include <deque>

#include "app/control_desk.h"
#include "app/service_view.h"
#include "app/state_report.h"
#include "rotation/clock_text.h"
#include "support/fakes.h"

namespace brevalt {
namespace {

using Result = ControlOutcome::Result;

struct Subscriber final : ControlListener {
    std::vector<ControlState> heard;
    void publish(const ControlState& state) override { heard.push_back(state); }
};

const ControlPeer alice{1001, 4242, "alice"};

TEST(ControlDeskTest, EachRequestIsDoneAsTheWindowWouldAndAnsweredForWhatBecameOfIt) {
    test::CoreHarness h;
    h.platform.dir = h.dir.path().string();
    h.platform.real_files = true;
    std::filesystem::create_directory(h.dir / "log");
    h.clock.set(test::FakeClock::at(2026, 12, 8, 9, 15, 0));
    CoreDesk desk(h.core, "session", "operator");
    ASSERT_TRUE(h.started());
    Subscriber subscriber;
    desk.follow_with(&subscriber);

    ControlState state = desk.state();
    EXPECT_EQ(state.sensor, SensorState::running);
    EXPECT_EQ(state.pid, 1001);
    EXPECT_EQ(state.since, "2026-12-08 09:15:00");
    EXPECT_EQ(state.rotation_time, "03:30");
    EXPECT_EQ(state.next_rotation, "2026-12-09 03:30") << "today's minute has passed";
    EXPECT_EQ(state.mode, "session");
    EXPECT_EQ(state.user, "operator");

    EXPECT_EQ(desk.act(ControlRequest::start, alice).result, Result::refused);
    EXPECT_EQ(h.sensor.starts, 1) << "a second sensor on the same logs";
    const ControlOutcome stopped = desk.act(ControlRequest::stop, alice);
    EXPECT_EQ(stopped.result, Result::done) << stopped.message;
    EXPECT_EQ(desk.state().sensor, SensorState::stopped);
    EXPECT_FALSE(desk.state().pid);
    EXPECT_EQ(desk.act(ControlRequest::stop, alice).result, Result::refused);
    // Every request on record with the peer the kernel named.
    bool recorded = false;
    for (const std::string& line : h.platform.told) {
        recorded |= line.find("stop asked for over the control channel by alice (uid 1001, process 4242)") !=
                    std::string::npos;
    }
    EXPECT_TRUE(recorded);

    const ControlOutcome started = desk.act(ControlRequest::start, alice);
    EXPECT_EQ(started.result, Result::done);
    EXPECT_NE(started.message.find("process 1002"), std::string::npos) << started.message;

    test::write_file(h.dir / "log" / "alert.ids", "today");
    test::write_file(h.dir / "log" / "scan.log", "today");
    EXPECT_EQ(desk.act(ControlRequest::rotate, alice).result, Result::done);
    EXPECT_EQ(desk.state().last_rotation.substr(0, 10), "2026-12-08");
    // The dated name is taken: the log keeps its name, which is a failure.
    test::write_file(h.dir / "log" / "alert.ids", "again");
    const ControlOutcome failed = desk.act(ControlRequest::rotate, alice);
    EXPECT_EQ(failed.result, Result::failed);
    EXPECT_EQ(failed.message, desk.state().last_failure);
    EXPECT_FALSE(failed.message.empty());

    // Subscribers hear of each change, and of nothing else.
    const std::size_t heard = subscriber.heard.size();
    EXPECT_GE(heard, 6u);
    EXPECT_EQ(subscriber.heard.back(), desk.state());
    h.clock.advance(30);
    h.core.on_tick();
    EXPECT_EQ(subscriber.heard.size(), heard) << "a tick that changed nothing";
}

TEST(ControlDeskTest, AFolderServedElsewhereRefusesEveryAction) {
    test::CoreHarness h;
    h.sensor.claim =
        FolderClaim::held_by(FolderClaim::Outcome::served_by_other_user, {ClaimHolder::Kind::brevalt, "bob", 77});
    CoreDesk desk(h.core, "session", "operator");
    ASSERT_TRUE(h.started());
    EXPECT_EQ(desk.state().sensor, SensorState::waiting);
    for (const ControlRequest request : {ControlRequest::start, ControlRequest::stop, ControlRequest::rotate}) {
        const ControlOutcome outcome = desk.act(request, alice);
        EXPECT_EQ(outcome.result, Result::refused);
        EXPECT_NE(outcome.message.find("bob"), std::string::npos) << outcome.message;
    }
    EXPECT_EQ(h.sensor.starts, 0);
}

TEST(StateReportTest, TheNextRotationIsTodaysUntilItsMinuteOrTheDaysRotation) {
    const LocalTime morning{2026, 12, 31, 3, 29, 59};
    EXPECT_EQ(next_rotation_text("03:30", morning, false), "2026-12-31 03:30");
    EXPECT_EQ(next_rotation_text("03:30", morning, true), "2027-01-01 03:30") << "done today already";
    EXPECT_EQ(next_rotation_text("03:29", morning, false), "2026-12-31 03:29") << "due this minute";
    EXPECT_EQ(next_rotation_text("03:28", morning, false), "2027-01-01 03:28");
    EXPECT_EQ(next_rotation_text("3:30", morning, false), "") << "never due";
    EXPECT_EQ(stamp_text({2026, 2, 3, 4, 5, 6}), "2026-02-03 04:05:06");
}

// The machine's service as a view hears it: states queued by the test, a
// connection that can be lost, answers to actions.
class ScriptedLink final : public ControlLink {
public:
    bool subscribe() override {
        ++subscriptions;
        return answers;
    }
    [[nodiscard]] std::optional<std::intptr_t> handle() const override { return 7; }
    Arrived take() override { return std::exchange(arrived, {}); }
    [[nodiscard]] std::string why() const override { return "connection refused"; }
    ControlAnswer act(ControlRequest request) override {
        asked.push_back(request);
        return answer;
    }

    bool answers = true;
    int subscriptions = 0;
    Arrived arrived;
    std::vector<ControlRequest> asked;
    ControlAnswer answer{ControlAnswer::Kind::answered, {}, {}};
};

ControlState service_state(SensorState sensor) {
    ControlState state;
    state.sensor = sensor;
    state.rotation_time = "03:30";
    state.next_rotation = "2026-12-09 03:30";
    if (sensor == SensorState::running) {
        state.pid = 4711;
        state.since = "2026-12-08 03:30:04";
    }
    return state;
}

TEST(ServiceViewTest, TheIconFollowsTheServiceAndSaysSoWhenItFallsSilent) {
    test::FakeClock clock;
    test::EventLog log;
    test::FakePlatform platform{clock, log};
    clock.set(test::FakeClock::at(2026, 12, 8, 9, 0, 0));
    test::FakeShell shell;
    ScriptedLink link;
    link.arrived.states = {service_state(SensorState::running)};
    ServiceView view(shell, platform, link);
    ASSERT_FALSE(view.start_up());
    EXPECT_FALSE(shell.window_shown);
    EXPECT_EQ(shell.watched_channel, 7);
    EXPECT_EQ(shell.rotation_time, "03:30");
    ASSERT_EQ(shell.icon_states.size(), 1u);
    EXPECT_EQ(shell.icon_states.back(), "running: Brevalt: sensor running since 03:30, next rotation tomorrow 03:30");

    link.arrived.states = {service_state(SensorState::stopped)};
    view.on_channel_ready();
    EXPECT_EQ(shell.icon_states.back().substr(0, 31), "none: Brevalt: sensor stopped (");

    // The service stops: the icon says so at once, one notification; each
    // tick looks again, and its return is told once.
    link.answers = false;
    link.arrived.lost = true;
    view.on_channel_ready();
    EXPECT_EQ(shell.icon_states.back(),
              "none: Brevalt: the machine's service does not answer; the sensor's state is unknown");
    EXPECT_FALSE(shell.watched_channel);
    ASSERT_EQ(shell.notifications.size(), 1u);
    view.on_tick();
    view.on_tick();
    EXPECT_EQ(link.subscriptions, 4);
    EXPECT_EQ(shell.notifications.size(), 1u);
    link.answers = true;
    link.arrived.states = {service_state(SensorState::running)};
    view.on_tick();
    EXPECT_EQ(shell.notifications.size(), 2u);
    EXPECT_EQ(shell.icon_states.back().substr(0, 9), "running: ");

    // The buttons act through the channel; what was refused is told.
    link.answer.outcome = {ControlOutcome::Result::refused, "the sensor runs already (process 4711)"};
    view.start_sensor(std::nullopt);
    view.stop_sensor(std::nullopt);
    view.rotate_now(std::nullopt);
    EXPECT_EQ(link.asked, (std::vector{ControlRequest::start, ControlRequest::stop, ControlRequest::rotate}));
    EXPECT_EQ(shell.notifications.back(), "The machine's Brevalt service: the sensor runs already (process 4711)");
    // "終了" and the session's end end the view alone.
    view.end_session(std::nullopt);
    EXPECT_TRUE(shell.ended);
    EXPECT_EQ(link.asked.size(), 3u);
}

}  // namespace
}  // namespace brevalt
