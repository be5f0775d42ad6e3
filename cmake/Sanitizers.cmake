# CJ_SANITIZE builds every target with AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder
# of its own (scripts/test uses build-asan, with clang, which compiles sanitized code about twice as fast as
# GCC). Whatever the build type, the code is compiled -O1 with line tables: quick enough to build, and
# every report still names file and line. Undefined behaviour aborts instead of printing and going on, so
# a finding fails its test. cj_add_test (tests/CMakeLists.txt) gives each test the runtime options below.
option(CJ_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

set(CJ_SANITIZER_ENVIRONMENT "")
if(CJ_SANITIZE)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        message(FATAL_ERROR "CJ_SANITIZE needs GCC or Clang")
    endif()
    add_compile_options(-O1 -g1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
    # With clang, every target also carries the coverage counters libFuzzer steers by, so the fuzz targets
    # (tests/fuzz/) link the same cjcore and lanservecore as the tests. Elsewhere the counters only count.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        set(CJ_FUZZ_TARGETS ON)
        add_compile_options(-fsanitize=fuzzer-no-link)
    endif()
    # Child processes (Lanserve, the crash driver) inherit these from the test that starts them. Reports go
    # to files in CJ_SANITIZER_REPORTS, which a test after all others checks (tests/CMakeLists.txt).
    set(CJ_SANITIZER_REPORTS ${CMAKE_CURRENT_BINARY_DIR}/sanitizer-reports)
    set(CJ_SANITIZER_ENVIRONMENT
        "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:log_path=${CJ_SANITIZER_REPORTS}/asan"
        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=${CJ_SANITIZER_REPORTS}/ubsan"
        "LSAN_OPTIONS=suppressions=${CJ_ROOT}/tests/lsan.supp")
endif()
