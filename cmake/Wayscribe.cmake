# Shared build settings and the helpers every module's CMakeLists.txt uses.

option(WAYSCRIBE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(WAYSCRIBE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
option(WAYSCRIBE_WERROR "Treat warnings in our own code as errors" ON)

if(WAYSCRIBE_FUZZ)
    # Everything is instrumented for coverage; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(WAYSCRIBE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# Applies the warning set and the language level to one of our own targets.
function(wys_target_defaults target)
    target_compile_features(${target} PUBLIC cxx_std_20)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(WAYSCRIBE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# wys_add_library(name [SHARED|STATIC] SOURCES ... [LIBS ...])
# Adds one of our libraries with the folder above it as its include root, so
# that headers are included as "platform/com/Bstr.h" or "common/UrlDate.h".
function(wys_add_library name)
    cmake_parse_arguments(ARG "SHARED;STATIC" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
    set(kind STATIC)
    if(ARG_SHARED)
        set(kind SHARED)
    endif()
    add_library(${name} ${kind} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    wys_target_defaults(${name})
endfunction()

# wys_add_test(name SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [ENVIRONMENT ...])
# Makes one GoogleTest executable and registers each of its tests with ctest.
function(wys_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} wys_test_support GTest::gmock GTest::gtest_main)
    wys_target_defaults(${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    # Tests run through env(1) with their fixed environment: the discovery
    # script cannot carry a list of variables in the ENVIRONMENT property.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "env;TZ=UTC;${ARG_ENVIRONMENT}")
    set(properties TIMEOUT ${ARG_TIMEOUT})
    if(ARG_LABELS)
        list(APPEND properties LABELS "${ARG_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# wys_add_fuzzer(name SOURCES ... [LIBS ...] [SECONDS n] [CORPUS dir])
# A libFuzzer target (only the fuzz preset builds fuzz/). Registered with
# ctest to run for a short fixed time so that the test command exercises it.
function(wys_add_fuzzer name)
    cmake_parse_arguments(ARG "" "SECONDS;CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(NOT ARG_SECONDS)
        set(ARG_SECONDS 20)
    endif()
    set(corpus_dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${corpus_dir})
    set(seed_args)
    if(ARG_CORPUS)
        set(seed_args ${ARG_CORPUS})
    endif()
    # A fixed seed makes a finding of the test run reproducible; longer runs
    # with other seeds are run by hand (scripts/fuzz).
    add_test(NAME ${name}
        COMMAND ${name} -seed=1 -max_total_time=${ARG_SECONDS} -timeout=10 -rss_limit_mb=2048 ${corpus_dir} ${seed_args})
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
