// What the shipped programs take from libstdc++ in a smaller form: the
// terminate handler, and the helpers through which the library throws its
// standard exceptions.
//
// libstdc++'s own terminate handler demangles the type of the uncaught
// exception (46 KB), and its throw helpers build std::logic_error and kin with
// copy-on-write strings, which pull in a second string implementation (some
// 50 KB more). A program that links this object defines these symbols itself, so
// the archive members that hold the originals are never linked. The shipped
// programs catch std::exception at their edges, so throwing kx::Exception with
// the library's message keeps what they show. Linked by kx_shipped_program only.
#include <bits/functexcept.h>
#include <cstdlib>
#include <new>
#include <typeinfo>

#include "base/Exception.h"

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* what) { throw kx::Exception(what); }
void __throw_domain_error(const char* what) { throw kx::Exception(what); }
void __throw_invalid_argument(const char* what) { throw kx::Exception(what); }
void __throw_length_error(const char* what) { throw kx::Exception(what); }
void __throw_out_of_range(const char* what) { throw kx::Exception(what); }
// The pattern unformatted: formatting it would bring back a printf.
void __throw_out_of_range_fmt(const char* pattern, ...) { throw kx::Exception(pattern); }
void __throw_runtime_error(const char* what) { throw kx::Exception(what); }
void __throw_range_error(const char* what) { throw kx::Exception(what); }
void __throw_overflow_error(const char* what) { throw kx::Exception(what); }
void __throw_underflow_error(const char* what) { throw kx::Exception(what); }
} // namespace std
