// The part of libvips's C interface that the libvips backend
// (preview_image_vips.cpp) calls, declared here instead of taken from
// <vips/vips.h>: quimbo-build builds with nothing but a C++ compiler, and
// finds these calls in the library at run time (dlopen, dlsym) when the
// first preview needs decoding. A run that makes no preview never loads
// libvips, nor the hundred libraries it brings with it.
//
// Contract: the C ABI of libvips 8 with the library version 42 (the soname
// libvips.so.42, libvips.42.dylib on macOS; libvips's "current - age"), as in
// libvips 8.14, the version the backend is tested with. Every call below is
// there since 8.13 (vips_block_untrusted_set and vips_operation_block_set
// are the newest). Only what the backend uses is declared: its structs as
// opaque types (read through libvips's own getters), the values it passes
// from libvips's enums, and the type of each call. The optional arguments of
// the variadic calls travel as C passes them: int for an enum or a gboolean,
// double, const char*, and a null pointer at the end.
//
// Not to be edited on its own: in the test build, tests/previews/vips_abi_check.cpp
// includes <vips/vips.h> and static_asserts that every type, value and call
// here is libvips's own; a declaration that differs does not compile.
#pragma once

#include <stddef.h>

namespace vipsabi {

// libvips's "current - age", the number in its soname; VIPS_INIT's check.
constexpr int kLibraryAbi = 42;

// GLib's basic types, as GLib defines them.
using gboolean = int;
using gchar = char;
using guint = unsigned int;
using gpointer = void*;
using GType = size_t;  // gsize

// Opaque: the backend holds them only by pointer.
struct VipsImage;
struct VipsSource;

// The enum values the backend passes. An enum that is part of a call's type
// has the size of libvips's own (checked); the others travel as int.
enum GLogLevelFlags : int {
    G_LOG_LEVEL_WARNING = 1 << 4,
    G_LOG_LEVEL_MESSAGE = 1 << 5,
    G_LOG_LEVEL_INFO = 1 << 6,
};
enum VipsAccess : int { VIPS_ACCESS_SEQUENTIAL = 1 };
enum VipsFailOn : int { VIPS_FAIL_ON_ERROR = 2, VIPS_FAIL_ON_WARNING = 3 };
enum VipsKernel : int { VIPS_KERNEL_LANCZOS3 = 5 };
enum VipsForeignPngFilter : int { VIPS_FOREIGN_PNG_FILTER_ALL = 0xF8 };
enum VipsBandFormat : int { VIPS_FORMAT_UCHAR = 0 };
enum VipsInterpretation : int {
    VIPS_INTERPRETATION_B_W = 1,
    VIPS_INTERPRETATION_CMYK = 15,
    VIPS_INTERPRETATION_sRGB = 22,
    VIPS_INTERPRETATION_RGB16 = 25,
    VIPS_INTERPRETATION_GREY16 = 26,
};

// The image field of an embedded ICC profile (VIPS_META_ICC_NAME).
constexpr char kIccProfileField[] = "icc-profile-data";

using GLogFunc = void (*)(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data);

// Every call the backend makes, with its type: X(name, type). The libvips
// library itself answers for GLib's and GObject's calls too (it depends on
// them, and dlsym searches a library's dependencies).
#define QUIMBO_VIPS_CALLS(X)                                                                               \
    X(vips_version, int(int flag))                                                                         \
    X(vips_init, int(const char* argv0))                                                                   \
    X(vips_error, void(const char* domain, const char* format, ...))                                       \
    X(vips_error_buffer, const char*())                                                                    \
    X(vips_error_buffer_copy, char*())                                                                     \
    X(vips_error_clear, void())                                                                            \
    X(vips_block_untrusted_set, void(gboolean state))                                                      \
    X(vips_operation_block_set, void(const char* name, gboolean state))                                    \
    X(vips_vector_set_enabled, void(gboolean enabled))                                                     \
    X(vips_concurrency_set, void(int concurrency))                                                         \
    X(vips_cache_set_max, void(int max))                                                                   \
    X(vips_cache_set_max_mem, void(size_t max))                                                            \
    X(vips_cache_set_max_files, void(int max))                                                             \
    X(vips_thread_shutdown, void())                                                                        \
    X(vips_source_new_from_descriptor, VipsSource*(int descriptor))                                        \
    X(vips_jpegload_source, int(VipsSource * source, VipsImage * *out, ...))                               \
    X(vips_pngload_source, int(VipsSource * source, VipsImage * *out, ...))                                \
    X(vips_webpload_source, int(VipsSource * source, VipsImage * *out, ...))                               \
    X(vips_image_get_width, int(const VipsImage* image))                                                   \
    X(vips_image_get_height, int(const VipsImage* image))                                                  \
    X(vips_image_get_bands, int(const VipsImage* image))                                                   \
    X(vips_image_get_format, VipsBandFormat(const VipsImage* image))                                       \
    X(vips_image_get_interpretation, VipsInterpretation(const VipsImage* image))                           \
    X(vips_image_get_orientation, int(VipsImage * image))                                                  \
    X(vips_image_get_orientation_swap, gboolean(VipsImage * image))                                        \
    X(vips_image_get_string, int(const VipsImage* image, const char* name, const char** out))              \
    X(vips_image_get_typeof, GType(const VipsImage* image, const char* name))                              \
    X(vips_image_get_fields, gchar**(VipsImage * image))                                                   \
    X(vips_image_remove, gboolean(VipsImage * image, const char* name))                                    \
    X(vips_image_hasalpha, gboolean(VipsImage * image))                                                    \
    X(vips_image_copy_memory, VipsImage*(VipsImage * image))                                               \
    X(vips_premultiply, int(VipsImage * in, VipsImage * *out, ...))                                        \
    X(vips_unpremultiply, int(VipsImage * in, VipsImage * *out, ...))                                      \
    X(vips_shrinkh, int(VipsImage * in, VipsImage * *out, int shrink, ...))                                \
    X(vips_shrinkv, int(VipsImage * in, VipsImage * *out, int shrink, ...))                                \
    X(vips_resize, int(VipsImage * in, VipsImage * *out, double scale, ...))                               \
    X(vips_cast, int(VipsImage * in, VipsImage * *out, VipsBandFormat format, ...))                        \
    X(vips_colourspace, int(VipsImage * in, VipsImage * *out, VipsInterpretation space, ...))              \
    X(vips_icc_transform, int(VipsImage * in, VipsImage * *out, const char* profile, ...))                 \
    X(vips_extract_band, int(VipsImage * in, VipsImage * *out, int band, ...))                             \
    X(vips_min, int(VipsImage * in, double* out, ...))                                                     \
    X(vips_autorot, int(VipsImage * in, VipsImage * *out, ...))                                            \
    X(vips_jpegsave_buffer, int(VipsImage * in, void** bytes, size_t* size, ...))                          \
    X(vips_pngsave_buffer, int(VipsImage * in, void** bytes, size_t* size, ...))                           \
    X(vips_webpsave_buffer, int(VipsImage * in, void** bytes, size_t* size, ...))                          \
    X(g_free, void(gpointer memory))                                                                       \
    X(g_strfreev, void(gchar * *strings))                                                                  \
    X(g_object_unref, void(gpointer object))                                                               \
    X(g_log_set_handler, guint(const gchar* domain, GLogLevelFlags levels, GLogFunc handler, gpointer data))

// The enum types and values above, for the check: X(name).
#define QUIMBO_VIPS_ENUM_TYPES(X) \
    X(GLogLevelFlags) X(VipsAccess) X(VipsFailOn) X(VipsKernel) X(VipsForeignPngFilter) X(VipsBandFormat) X(VipsInterpretation)
#define QUIMBO_VIPS_ENUM_VALUES(X)                                                                              \
    X(G_LOG_LEVEL_WARNING) X(G_LOG_LEVEL_MESSAGE) X(G_LOG_LEVEL_INFO) X(VIPS_ACCESS_SEQUENTIAL)                 \
    X(VIPS_FAIL_ON_ERROR) X(VIPS_FAIL_ON_WARNING) X(VIPS_KERNEL_LANCZOS3) X(VIPS_FOREIGN_PNG_FILTER_ALL)         \
    X(VIPS_FORMAT_UCHAR) X(VIPS_INTERPRETATION_B_W) X(VIPS_INTERPRETATION_CMYK) X(VIPS_INTERPRETATION_sRGB)     \
    X(VIPS_INTERPRETATION_RGB16) X(VIPS_INTERPRETATION_GREY16)

}  // namespace vipsabi
