#pragma once

// What a platform call reports back instead of throwing: either ok, or the
// name of the call that failed and the error number it left (errno on POSIX,
// GetLastError on Windows).
namespace brevalt {

struct SysResult {
    const char* failed_call = nullptr;
    int error = 0;

    [[nodiscard]] bool ok() const { return failed_call == nullptr; }
    static SysResult success() { return {}; }
    static SysResult failure(const char* call, int error_number) { return {call, error_number}; }
};

}  // namespace brevalt
