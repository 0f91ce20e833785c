// How the C++ runtime's own error paths end in this library.
//
// The runtime's containers and strings report their errors through the
// std::__throw_* functions. The runtime's versions throw std::logic_error and
// its kin, whose constructors keep the message in a reference-counted string:
// linking them statically brings in a second full string implementation and
// std::random_device (tens of kilobytes of the DLL). The definitions here replace the
// runtime's, so that object is never linked:
//   - a length past max_size() is a request that cannot be met, the same as
//     running out of memory: std::bad_alloc, which every exception barrier
//     answers with E_OUTOFMEMORY (GuardComCall, the script interpreter);
//   - the other errors are faults of the caller of the container, seen by the
//     barriers as an unknown exception (E_UNEXPECTED); what() gives the
//     runtime's message.
// The verbose terminate handler is replaced as well: it demangles type names
// and formats with printf, about 50 KB; this one writes the what() of the
// exception in flight, undemangled, before aborting.
//
// All fifteen functions of the runtime's object are defined, so that no
// program that links this file ever links the runtime's object too (which
// would define them twice).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

// The runtime's errors other than running out of memory.
class RuntimeError final : public std::exception {
public:
    explicit RuntimeError(const char* what) noexcept : m_strWhat(what ? what : "C++ runtime error") {}
    const char* what() const noexcept override { return m_strWhat; }

private:
    const char* m_strWhat;  // the runtime's messages are string literals
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char* what) { throw RuntimeError(what); }
void __throw_domain_error(const char* what) { throw RuntimeError(what); }
void __throw_invalid_argument(const char* what) { throw RuntimeError(what); }
void __throw_out_of_range(const char* what) { throw RuntimeError(what); }
// Formatting the arguments would bring printf back: what() is the name of the
// function that failed, the runtime's first argument to its "%s: ..." formats.
void __throw_out_of_range_fmt(const char* format, ...) {
    const char* what = format;
    if (format && format[0] == '%' && format[1] == 's') {
        va_list arguments;
        va_start(arguments, format);
        what = va_arg(arguments, const char*);
        va_end(arguments);
    }
    throw RuntimeError(what);
}
void __throw_runtime_error(const char* what) { throw RuntimeError(what); }
void __throw_range_error(const char* what) { throw RuntimeError(what); }
void __throw_overflow_error(const char* what) { throw RuntimeError(what); }
void __throw_underflow_error(const char* what) { throw RuntimeError(what); }

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    if (abi::__cxa_current_exception_type()) {
        try {
            throw;
        } catch (const std::exception& error) {
            fputs("terminate called after an exception: ", stderr);
            fputs(error.what(), stderr);
            fputc('\n', stderr);
        } catch (...) {
            fputs("terminate called after an exception\n", stderr);
        }
    }
    abort();
}

}  // namespace __gnu_cxx
