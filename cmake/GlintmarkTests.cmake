# One helper per kind of test, so every test is built and registered the same way.
include(${PROJECT_SOURCE_DIR}/cmake/GlintmarkWindowsLayout.cmake)

# glintmark_test_label(<out>)
# The CTest label of the tests registered from the current folder: the folder under tests/
# names the part they test, so `ctest -L <label>` picks exactly that part's tests.
function(glintmark_test_label out)
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}/tests" "${CMAKE_CURRENT_SOURCE_DIR}")
    if(folder STREQUAL "ui")
        set(label window)
    elseif(folder MATCHES "^(engine|features|cli|dialogs)$")
        set(label ${folder})
    else()
        message(FATAL_ERROR "No test label for the folder ${CMAKE_CURRENT_SOURCE_DIR}: "
                            "give it one in glintmark_test_label")
    endif()
    set(${out} ${label} PARENT_SCOPE)
endfunction()

# glintmark_add_gtest(<name> SOURCES <files...> [LIBS <targets...>])
# A GoogleTest executable linked to the engine; each TEST becomes its own CTest case.
function(glintmark_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Glintmark::engine Glintmark::options GTest::gtest_main
                                          glintmark_test_support ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE
        GLINTMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        GLINTMARK_TEST_TMP="${CMAKE_CURRENT_BINARY_DIR}/tmp")
    glintmark_test_label(label)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label})
endfunction()

# glintmark_add_window_test(<name> SOURCES <files...> [LIBS <targets...>])
# A Qt Test executable linked to the window library, run headless on the offscreen platform.
# Its folder finds Qt6 Test first: found inside the function, a static Qt's imported targets
# would be made twice.
function(glintmark_add_window_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE Glintmark::ui Glintmark::options Qt6::Test
                                          glintmark_test_support ${ARG_LIBS})
    target_compile_definitions(${name} PRIVATE GLINTMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    glintmark_import_qt_plugins(${name})
    glintmark_use_qt_runtime(${name})
    add_test(NAME ${name} COMMAND ${name})
    set(environment "QT_QPA_PLATFORM=offscreen;QT_QPA_FONTDIR=/usr/share/fonts/truetype")
    if(CMAKE_CROSSCOMPILING AND WIN32)
        # Wine hands a program its QT_* variables only when they carry a WINE prefix. Qt Test's
        # output would otherwise go to the debugger channel, and offscreen would draw no text.
        list(APPEND environment "WINEQT_QPA_PLATFORM=offscreen" "WINEQT_FORCE_STDERR_LOGGING=1"
             "WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu")
        glintmark_qt_is_shared(shared)
        if(shared)
            # The DLLs and plugins come from the window program's layout (Qt Test's DLL from
            # Qt itself), as they do for the program.
            set(layout "Z:$<TARGET_FILE_DIR:glintmark>")
            list(APPEND environment "WINEPATH=${layout}\;Z:$<TARGET_FILE_DIR:Qt6::Test>"
                 "WINEQT_PLUGIN_PATH=${layout}")
            add_dependencies(${name} glintmark)
        endif()
    endif()
    glintmark_test_label(label)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}" LABELS ${label} TIMEOUT 300)
endfunction()
