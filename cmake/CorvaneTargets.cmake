# One static library per source folder: every .cpp of the folder, headers found from src/.
function(corvane_folder_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()

# Every <Name>Test.cpp of a tests/ folder is one GoogleTest program labelled with the folder's
# name; <Name>ThreadsTest.cpp is also labelled "threads" (run again under ThreadSanitizer).
function(corvane_test_folder folder)
    cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
    file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
    foreach(source IN LISTS test_sources)
        get_filename_component(test_name ${source} NAME_WE)
        set(labels ${folder})
        if(test_name MATCHES "ThreadsTest$")
            list(APPEND labels threads)
        elseif(CORVANE_ONLY_THREADS_TESTS)
            continue()
        endif()
        set(target ${folder}_${test_name})
        add_executable(${target} ${source})
        target_link_libraries(${target} PRIVATE ${ARG_LINK} GTest::gtest GTest::gmock GTest::gtest_main)
        gtest_discover_tests(${target}
            TEST_PREFIX "${folder}."
            DISCOVERY_TIMEOUT 60
            DISCOVERY_MODE PRE_TEST
            TEST_LIST ${target}_TESTS
            PROPERTIES TIMEOUT 300)
        # Labels are set once the tests are known: a list of them does not survive discovery.
        set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
        file(WRITE ${label_file}
            "foreach(test IN LISTS ${target}_TESTS)\n"
            "    set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n"
            "endforeach()\n")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
    endforeach()
endfunction()
