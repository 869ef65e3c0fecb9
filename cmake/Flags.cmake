# Compiler and linker flags in one place.

# Product code: no exceptions, no RTTI; small static Windows executables that
# import only system DLLs and msvcrt.
set(QUIMBO_PRODUCT_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables
    -fno-unwind-tables -Wall -Wextra)

if(WIN32)
  # The deliverables are optimised for size.
  set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
  set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
  # No -fdata-sections: on PE it moves zero-filled buffers from .bss into .data, into the file.
  add_compile_options(-ffunction-sections)
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
  # Executables that CMake links with the C driver would otherwise get the C++
  # driver's libraries named by hand, and on i686 "-lgcc_s" is the import
  # library of libgcc_s_dw2-1.dll. Each driver adds what it needs itself.
  set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")
  set(CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "")
  if(CMAKE_BUILD_TYPE STREQUAL "Release" OR CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    add_link_options(-s)
  endif()
endif()

if(QUIMBO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds the product flags to a target of shipped code. A Windows executable is
# linked by the C driver, without the C++ runtime: anything that would pull it
# in (an exception thrown by a standard helper, say) fails to link instead of
# adding a quarter of a megabyte.
#
# Every program gets a linker map beside it, and after each link the map must
# show that the platform layer's test seam is not in it.
function(quimbo_product_target target)
  target_compile_options(${target} PRIVATE ${QUIMBO_PRODUCT_FLAGS})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    if(WIN32)
      set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
    endif()
    quimbo_linker_map(${target})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DMAP=$<TARGET_FILE:${target}>.map -DEXPECT=OFF
              -P ${PROJECT_SOURCE_DIR}/cmake/CheckFaultSeam.cmake
      VERBATIM)
  endif()
endfunction()

# Writes the linker map of `target` to its file name + ".map".
function(quimbo_linker_map target)
  target_link_options(${target} PRIVATE "LINKER:-Map=$<TARGET_FILE:${target}>.map")
endfunction()

# After each build of `target`, checks its size (bytes, 0 for no limit) and
# that it imports only the DLLs listed.
function(quimbo_check_footprint target maxBytes)
  set(allowed ${ARGN})
  # The list travels as one argument: $<SEMICOLON> keeps its separators out of the command's own list.
  string(REPLACE ";" "$<SEMICOLON>" allowedArg "${allowed}")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(objdump x86_64-w64-mingw32-objdump)
  else()
    set(objdump i686-w64-mingw32-objdump)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DMAX_BYTES=${maxBytes} "-DALLOWED=${allowedArg}"
            -DOBJDUMP=${objdump} -P ${PROJECT_SOURCE_DIR}/cmake/CheckFootprint.cmake
    VERBATIM)
endfunction()

if(QUIMBO_FUZZ)
  # Coverage for everything the harnesses reach; each harness links libFuzzer itself.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
