#include "app/RaiseSite.h"

#include <dlfcn.h>

#include <cstring>
#include <typeinfo>

namespace {

// The last exception object raised on this thread and the address its
// `throw` returns to.
thread_local const void* lastObject = nullptr;
thread_local const void* lastSite = nullptr;

using ThrowFunction = void (*)(void*, std::type_info*, void (*)(void*));

} // namespace

// Every `throw` of the program calls the run-time library's __cxa_throw; this
// one stands in front of it, notes where it was called from, and hands the
// exception on unchanged.
extern "C" [[noreturn]] void __cxa_throw(void* object, std::type_info* type, void (*destroy)(void*))
{
    lastObject = object;
    lastSite = __builtin_return_address(0);
    static const auto raise = reinterpret_cast<ThrowFunction>(dlsym(RTLD_NEXT, "__cxa_throw"));
    raise(object, type, destroy);
    __builtin_unreachable();
}

namespace kivra::app {

const void* RaiseSiteOf(const std::exception_ptr& raised)
{
    if (!raised) return nullptr;
    // The run-time library's exception pointer holds the exception object's
    // address, the one __cxa_throw was given.
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object = nullptr;
    std::memcpy(&object, &raised, sizeof object);
    return object == lastObject ? lastSite : nullptr;
}

} // namespace kivra::app
