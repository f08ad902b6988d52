#include "sensor/win32/win32_sensor.h"

#include <utility>

#include "platform/win32/wide_text.h"
#include "sensor/win32/folder_claim.h"
#include "sensor/win32/left_sensor.h"
#include "sensor/win32/sensor_mark.h"

namespace brevalt {

// The record the sensor has always been started with: 68 bytes on 32-bit.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68);

namespace {

// Long enough for the system to finish a TerminateProcess, short enough not
// to add to the rotation's fixed wait.
constexpr DWORD k_stopped_gone_bound_ms = 1000;

bool has_ended(HANDLE process, DWORD wait_ms = 0) { return ::WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0; }

// The sensor's own words, begun afresh at each start, in a file that
// outlives Brevalt. The one handle Brevalt ever makes inheritable, and only
// until the sensor has its copy; Brevalt may read the file meanwhile.
win32::OwnedHandle open_sensor_output(const std::string& path) {
    const auto wide = path.empty() ? std::nullopt : win32::to_wide(path);
    if (!wide) return win32::OwnedHandle();
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    constexpr DWORD k_share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_WRITE, k_share, &inherited, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return win32::OwnedHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

FolderClaim Win32Sensor::claim_folder(const std::string& folder) {
    win32::OwnClaim own = win32::claim_folder(folder);
    if (own.claim.outcome != FolderClaim::Outcome::claimed) return std::move(own.claim);
    // The claim only keeps out Brevalts that run now; a sensor that an
    // earlier one left behind must be found on its own.
    win32::LeftSensor left = win32::find_left_sensor(own.folder);
    if (!left.claim.ours()) return std::move(left.claim);
    claim_ = std::move(own.held);
    folder_ = std::move(own.folder);
    if (left.process) {
        const auto pid = static_cast<DWORD>(left.claim.pid);
        win32::OwnedHandle job = win32::open_sensor_job(left.process.get(), pid, folder_);
        sensor_ = Remembered{std::move(left.process), pid, std::move(job)};
    }
    return std::move(left.claim);
}

SensorStart Win32Sensor::start() {
    sensor_startup_.cb = sizeof(STARTUPINFOA);
    // CreateProcessA may write into its command line, so it gets a fresh
    // copy each time. Inheritance is on, as the sensor has always been
    // started; it is harmless because Brevalt opens nothing inheritable.
    char command_line[] = "snort.exe";
    PROCESS_INFORMATION started{};
    // A file that cannot be opened leaves the sensor's output where it
    // always went (its console) rather than the sensor unstarted.
    win32::OwnedHandle output = open_sensor_output(output_path_);
    const bool output_given = output.get() != nullptr;
    if (output_given) {
        sensor_startup_.dwFlags |= STARTF_USESTDHANDLES;
        sensor_startup_.hStdOutput = sensor_startup_.hStdError = output.get();
    }
    // Suspended until it is marked and in its job: a sensor behind a
    // launcher could otherwise start the real one before the job holds it,
    // and a stop would leave that one running.
    win32::SensorProcessSecurity security;
    const BOOL created = ::CreateProcessA(nullptr, command_line, security.attributes(), nullptr, TRUE,
                                          NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr,
                                          &sensor_startup_, &started);
    const DWORD create_error = ::GetLastError();
    output.reset();
    sensor_startup_.dwFlags &= ~static_cast<DWORD>(STARTF_USESTDHANDLES);
    sensor_startup_.hStdOutput = sensor_startup_.hStdError = nullptr;
    if (!created) return SensorStart::failure(SysResult::failure("CreateProcessA", static_cast<int>(create_error)));
    output_opened_ = output_given ? output_path_ : std::string();
    const win32::OwnedHandle first_thread(started.hThread);
    win32::OwnedHandle process(started.hProcess);
    // Without a claimed folder there is nothing to name the mark after, and
    // no later Brevalt that would look for one.
    win32::OwnedHandle job;
    if (!folder_.empty()) {
        if (const SysResult marked = win32::mark_sensor(process.get(), started.dwProcessId, folder_); !marked.ok()) {
            ::TerminateProcess(process.get(), 0);
            stopped_.push_back(Remembered{std::move(process), started.dwProcessId, {}});
            return SensorStart::failure(marked);
        }
        job = win32::join_sensor_job(process.get(), started.dwProcessId, folder_);
    }
    if (::ResumeThread(first_thread.get()) == static_cast<DWORD>(-1)) {
        const auto resume_error = static_cast<int>(::GetLastError());
        ::TerminateProcess(process.get(), 0);
        stopped_.push_back(Remembered{std::move(process), started.dwProcessId, std::move(job)});
        return SensorStart::failure(SysResult::failure("ResumeThread", resume_error));
    }
    sensor_ = Remembered{std::move(process), started.dwProcessId, std::move(job)};
    return SensorStart::done();
}

std::optional<long> Win32Sensor::running_pid() const {
    if (!sensor_) return std::nullopt;
    return static_cast<long>(sensor_->pid);
}

void Win32Sensor::terminate(const Remembered& sensor) {
    if (!sensor.job || !::TerminateJobObject(sensor.job.get(), 0)) ::TerminateProcess(sensor.process.get(), 0);
}

bool Win32Sensor::gone(const Remembered& sensor, DWORD wait_ms) {
    return has_ended(sensor.process.get(), wait_ms) && (!sensor.job || win32::job_empty(sensor.job.get()));
}

void Win32Sensor::stop() {
    if (!sensor_) return;
    terminate(*sensor_);
    stopped_.push_back(std::move(*sensor_));
    sensor_.reset();
}

void Win32Sensor::ensure_stopped_gone() {
    const ULONGLONG deadline = ::GetTickCount64() + k_stopped_gone_bound_ms;
    for (const Remembered& sensor : stopped_) {
        const ULONGLONG now = ::GetTickCount64();
        if (gone(sensor, now < deadline ? static_cast<DWORD>(deadline - now) : 0)) continue;
        terminate(sensor);
        // What the sensor started ends a moment after it.
        const ULONGLONG killed_by = ::GetTickCount64() + k_stopped_gone_bound_ms;
        while (!gone(sensor) && ::GetTickCount64() < killed_by) ::Sleep(10);
    }
    stopped_.clear();
}

bool Win32Sensor::stopped_gone() {
    std::erase_if(stopped_, [](const Remembered& sensor) { return gone(sensor); });
    return stopped_.empty();
}

std::optional<SensorEnd> Win32Sensor::reap() {
    stopped_gone();
    if (!sensor_ || !has_ended(sensor_->process.get())) return std::nullopt;
    DWORD code = 0;
    const bool known = ::GetExitCodeProcess(sensor_->process.get(), &code) != FALSE;
    sensor_.reset();
    if (!known) return SensorEnd{};
    return SensorEnd{SensorEnd::How::exited, static_cast<int>(code)};
}

std::optional<std::intptr_t> Win32Sensor::end_handle() const {
    if (!sensor_) return std::nullopt;
    return reinterpret_cast<std::intptr_t>(sensor_->process.get());
}

}  // namespace brevalt
