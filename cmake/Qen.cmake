# qen_library(NAME DIRS dir... [DEPS target...] [PRIVATE_DEPS target...] [TEST_DEPS target...])
#
# One static library from the .cpp files of the given folders (relative to the current source
# folder), and, when the folders hold *_test.cpp files, one GoogleTest binary NAME_tests whose
# tests ctest runs one process each.
function(qen_library name)
    cmake_parse_arguments(ARG "" "" "DIRS;DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
    if(NOT ARG_DIRS)
        set(ARG_DIRS .)
    endif()
    set(srcs)
    set(tests)
    foreach(dir IN LISTS ARG_DIRS)
        file(GLOB dir_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
        foreach(f IN LISTS dir_srcs)
            if(f MATCHES "_test\\.cpp$")
                list(APPEND tests ${f})
            else()
                list(APPEND srcs ${f})
            endif()
        endforeach()
    endforeach()
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    if(QEN_TESTS AND tests)
        add_executable(${name}_tests ${tests})
        target_link_libraries(${name}_tests PRIVATE ${name} ${ARG_TEST_DEPS} platform_testing
                              GTest::gtest GTest::gmock)
        set_target_properties(${name}_tests PROPERTIES ENABLE_EXPORTS ON)
        gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST
                             PROPERTIES TIMEOUT 120 LABELS ${name})
    endif()
endfunction()
