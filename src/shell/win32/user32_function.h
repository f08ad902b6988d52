#pragma once

#include <windows.h>

namespace brevalt::win32 {

// A user32 function that only newer systems have, looked up at run time so
// that the program still starts on older ones; null where it is missing.
template <typename Fn>
Fn user32_function(const char* name) {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return nullptr;
    // Through a generic function pointer, the documented way to convert
    // GetProcAddress's result.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)));
}

}  // namespace brevalt::win32
