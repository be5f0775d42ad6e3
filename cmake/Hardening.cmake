# The hardening Debian builds its own packages with (dpkg-buildflags): stack protector, fortified libc
# calls, relocations read-only and bound at start, position-independent executables. For every target
# defined after this include, so the libraries linked into cjpos and Lanserve get it too. The sanitizer
# build leaves out the fortified calls, which would bypass AddressSanitizer's own checks of the same
# functions; so does an unoptimized build, where glibc cannot fortify.
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-fstack-protector-strong)
    if(NOT CJ_SANITIZE)
        # -U first: some compilers define it already, and a second definition is a warning.
        add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                            "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
    endif()
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
