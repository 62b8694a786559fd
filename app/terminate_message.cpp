// What the editor says when an exception escapes (a fault of its own): the
// C++ library's message, with the exception's type as the compiler names it
// ("St12length_error"; c++filt or the debug archive's symbols spell it out),
// then abort, as the library does. Defining the library's handler here keeps
// its demangler, some 46 KB, out of the editor.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include <cxxabi.h>

namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        std::fprintf(stderr, "terminate called after throwing an instance of '%s'\n", type->name());
        try {
            throw;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "  what():  %s\n", error.what());
        } catch (...) {
        }
    } else {
        std::fputs("terminate called without an active exception\n", stderr);
    }
    std::abort();
}

}  // namespace __gnu_cxx
