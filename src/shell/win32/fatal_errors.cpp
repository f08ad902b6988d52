// What happens when a C++ error would be thrown: the program ends at once.
// Nothing in Brevalt catches an exception, so this is what happened anyway
// (an uncaught exception ends in std::terminate, then std::abort); what
// changes is the size of the statically linked executable.
//
// libstdc++'s own terminate handler first prints the exception's demangled
// type to standard error, which a windowed program does not have; replacing
// it keeps that handler and the C++ name demangler (about 45 KB) out.
//
// The library's helpers that throw its standard exceptions (bad_alloc,
// length_error and the rest) live in one object that pulls in the exception
// classes, a second, copy-on-write std::string implementation for their
// messages, and std::random_device with it: about 55 KB of the 32-bit
// program. Defining every one of them here keeps that object out.

#include <bits/functexcept.h>

#include <cstddef>
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler();

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_exception() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_cast() { std::abort(); }
void __throw_bad_typeid() { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_domain_error(const char*) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_runtime_error(const char*) { std::abort(); }
void __throw_range_error(const char*) { std::abort(); }
void __throw_overflow_error(const char*) { std::abort(); }
void __throw_underflow_error(const char*) { std::abort(); }

}  // namespace std

// The library's operator new throws std::bad_alloc itself, which brings the
// whole exception runtime, and with it a POSIX threads layer for its
// per-thread state: about 30 KB of the 32-bit program. Replacing the
// allocation functions, as any program may, keeps them out; running out of
// memory ends the program, as the uncaught bad_alloc would have.
void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    std::abort();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
