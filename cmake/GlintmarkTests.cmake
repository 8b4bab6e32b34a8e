# One helper per kind of test, so every test is built and registered the same way.

# glintmark_add_engine_test(<name> SOURCES <files...> [LIBS <targets...>])
# A GoogleTest executable linked to the engine; each TEST becomes its own CTest case.
function(glintmark_add_engine_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Glintmark::engine Glintmark::options GTest::gtest_main
                                          ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE
        GLINTMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        GLINTMARK_TEST_TMP="${CMAKE_CURRENT_BINARY_DIR}/tmp")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS engine)
endfunction()

# glintmark_add_window_test(<name> SOURCES <files...> [LIBS <targets...>])
# A Qt Test executable linked to the window library, run headless on the offscreen platform.
function(glintmark_add_window_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    find_package(Qt6 REQUIRED COMPONENTS Test)
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE Glintmark::ui Glintmark::options Qt6::Test ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE GLINTMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=/usr/share/fonts/truetype"
        LABELS window TIMEOUT 300)
endfunction()
