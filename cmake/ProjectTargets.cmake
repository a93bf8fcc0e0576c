# Common settings for every target of the project.

# sm_target_defaults(target [ASCII_TEXTS])
# Sources are UTF-8; the program's own texts are GBK bytes at run time. A target whose literals
# are all ASCII (ASCII_TEXTS) comes out the same without that, so it also builds with clang,
# which has no GB18030 execution charset (the fuzz build).
function(sm_target_defaults target)
    cmake_parse_arguments(D "ASCII_TEXTS" "" "" ${ARGN})
    target_compile_options(${target} PRIVATE -Wall -Wextra -finput-charset=UTF-8)
    if(NOT D_ASCII_TEXTS OR CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -fexec-charset=GB18030)
    endif()
    if(SM_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# sm_library(name [ASCII_TEXTS] SOURCES ... [LIBS ...]) - a static library of one folder.
function(sm_library name)
    cmake_parse_arguments(L "ASCII_TEXTS" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_LIBS})
    if(L_ASCII_TEXTS)
        sm_target_defaults(${name} ASCII_TEXTS)
    else()
        sm_target_defaults(${name})
    endif()
endfunction()

# sm_test(name MAIN plain|core|gui SOURCES ... [LIBS ...] [TIMEOUT s])
# One GoogleTest program; every test case becomes its own CTest test.
function(sm_test name)
    cmake_parse_arguments(T "" "MAIN;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_MAIN)
        set(T_MAIN plain)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} test_support sm_test_main_${T_MAIN}
        GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    sm_target_defaults(${name})
    # Where the tests find the sources and the built programs. (Compiled in: a list-valued
    # ENVIRONMENT property does not survive gtest_discover_tests' argument handling.)
    target_compile_definitions(${name} PRIVATE SM_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        SM_BINARY_DIR="${PROJECT_BINARY_DIR}")
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()
