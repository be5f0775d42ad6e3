# Compiler warnings for this project's own targets: every target defined after this include, in this
# folder and below. CJ_WARNINGS_AS_ERRORS makes them errors (CI builds with it).
option(CJ_WARNINGS_AS_ERRORS "Treat compiler warnings in this project's code as errors" OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-Wall -Wextra -Wpedantic -Wshadow)
    if(CJ_WARNINGS_AS_ERRORS)
        add_compile_options(-Werror)
    endif()
endif()
