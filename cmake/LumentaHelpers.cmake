# Small helpers shared by the folders' CMakeLists.

# lumenta_test(NAME SOURCES... LIBS ... [PROPERTIES ...]): one GoogleTest executable whose cases ctest
# lists one by one; PROPERTIES are given to every case (single values only, e.g. RESOURCE_LOCK name).
function(lumenta_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    # Cross-built tests are listed when ctest runs (under Wine), not at build time; listing costs a
    # process start there, so give it room on a loaded machine.
    if(CMAKE_CROSSCOMPILING)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
            PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
    endif()
endfunction()
