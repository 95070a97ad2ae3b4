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
            PROPERTIES LABELS "${labels}" TIMEOUT 300)
    endforeach()
endfunction()
