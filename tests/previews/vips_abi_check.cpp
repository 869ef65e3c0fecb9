// previews/backends/vips_abi.h against libvips's own headers: every call's type, every
// enum's size and value, the ICC field's name and the ABI number must be
// libvips's, or this file does not compile. Nothing here runs.
#include <vips/vips.h>
// clang-format off
#include <vips/vector.h>  // not part of vips.h, and needs it first
// clang-format on

// decltype of a call keeps its declaration's attributes (format, sentinel),
// which a template argument drops; only the type is compared here.
#pragma GCC diagnostic ignored "-Wignored-attributes"

#include <cstring>
#include <type_traits>

#include "previews/backends/vips_abi.h"

namespace {

// A type of vips_abi.h as libvips's headers spell it: our opaque structs and
// enums become libvips's and GLib's, through pointers, const and function types.
template <typename T>
struct Real {
    using type = T;
};
template <typename T>
using RealOf = typename Real<T>::type;
template <typename T>
struct Real<T*> {
    using type = RealOf<T>*;
};
template <typename T>
struct Real<const T> {
    using type = const RealOf<T>;
};
template <typename R, typename... A>
struct Real<R(A...)> {
    using type = RealOf<R>(RealOf<A>...);
};
template <typename R, typename... A>
struct Real<R(A..., ...)> {
    using type = RealOf<R>(RealOf<A>..., ...);
};
#define QUIMBO_REAL(name) \
    template <>           \
    struct Real<vipsabi::name> { using type = ::name; };
QUIMBO_REAL(VipsImage)
QUIMBO_REAL(VipsSource)
QUIMBO_VIPS_ENUM_TYPES(QUIMBO_REAL)
#undef QUIMBO_REAL

constexpr bool SameText(const char* a, const char* b) { return *a == *b && (!*a || SameText(a + 1, b + 1)); }

}  // namespace

namespace vipsabi {
namespace check {

// The types in each call's declaration are read here, inside vipsabi, as the backend reads them.
#define QUIMBO_CHECK_CALL(name, ...) \
    static_assert(std::is_same_v<RealOf<__VA_ARGS__>, decltype(::name)>, #name " is not declared as libvips declares it");
QUIMBO_VIPS_CALLS(QUIMBO_CHECK_CALL)
#undef QUIMBO_CHECK_CALL

#define QUIMBO_CHECK_ENUM(name) \
    static_assert(sizeof(vipsabi::name) == sizeof(::name), #name " has another size than libvips's");
QUIMBO_VIPS_ENUM_TYPES(QUIMBO_CHECK_ENUM)
#undef QUIMBO_CHECK_ENUM

#define QUIMBO_CHECK_VALUE(name) \
    static_assert(static_cast<long long>(vipsabi::name) == static_cast<long long>(::name), #name " is not libvips's value");
QUIMBO_VIPS_ENUM_VALUES(QUIMBO_CHECK_VALUE)
#undef QUIMBO_CHECK_VALUE

static_assert(SameText(kIccProfileField, VIPS_META_ICC_NAME), "the ICC profile's field is not libvips's");
static_assert(kLibraryAbi == VIPS_LIBRARY_CURRENT - VIPS_LIBRARY_AGE, "libvips's headers are of another ABI");

}  // namespace check
}  // namespace vipsabi
