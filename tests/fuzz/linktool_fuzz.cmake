# Pinvane's command-line core under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer. Included by tests/fuzz/CMakeLists.txt.
#   build/fuzz/tests/fuzz/linktool_fuzz -max_total_time=60 tests/fuzz/corpus/linktool
# (give a scratch folder first to keep new inputs out of the committed corpus).
set(linktoolFuzzFlags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_compile_options(qlinkcore PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
add_executable(linktool_fuzz ${CMAKE_CURRENT_LIST_DIR}/linktool_fuzz.cpp ${CMAKE_CURRENT_LIST_DIR}/linktool_harness.cpp)
target_link_libraries(linktool_fuzz PRIVATE qlinkcore)
target_compile_options(linktool_fuzz PRIVATE ${linktoolFuzzFlags})
target_link_options(linktool_fuzz PRIVATE ${linktoolFuzzFlags})
