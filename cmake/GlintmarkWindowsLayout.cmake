# The window program for Windows on Qt's DLLs: glintmark.exe with, beside it, the Qt DLLs, the
# plugins in platforms/, styles/ and imageformats/, and the MinGW-w64 runtime DLLs they import.
# A user can put a Qt of their own in their place. The layout is assembled in the program's
# build folder, where the window tests find it too, and listed in windows-layout.txt for the
# release scripts (scripts/windows-zip, scripts/windows-installer).

# True when the Qt found is a set of DLLs rather than static libraries.
function(glintmark_qt_is_shared out)
    get_target_property(type Qt6::Core TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
        set(${out} TRUE PARENT_SCOPE)
    else()
        set(${out} FALSE PARENT_SCOPE)
    endif()
endfunction()

# glintmark_windows_layout(<target>)
function(glintmark_windows_layout target)
    glintmark_qt_is_shared(shared)
    if(NOT WIN32 OR NOT shared)
        return()
    endif()
    # The runtime DLLs of Debian's MinGW-w64 compiler that Qt's DLLs and the program import.
    set(runtime)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(path "${path}" ABSOLUTE)
        if(NOT EXISTS "${path}")
            message(FATAL_ERROR "The compiler's runtime DLL ${dll} is missing (${path})")
        endif()
        list(APPEND runtime "${path}")
    endforeach()

    # Folder in the layout, and the Qt target whose DLL goes there.
    set(parts
        . Qt6::Core . Qt6::Gui . Qt6::Widgets
        platforms Qt6::QWindowsIntegrationPlugin
        platforms Qt6::QOffscreenIntegrationPlugin
        styles Qt6::QWindowsVistaStylePlugin
        imageformats Qt6::QICOPlugin
        imageformats Qt6::QJpegPlugin)
    set(commands)
    set(listing "$<TARGET_FILE_NAME:${target}>")
    foreach(path IN LISTS runtime)
        get_filename_component(name "${path}" NAME)
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different "${path}"
             "$<TARGET_FILE_DIR:${target}>/${name}")
        string(APPEND listing "\n${name}")
    endforeach()
    list(LENGTH parts count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET parts ${i} folder)
        list(GET parts ${j} qt)
        if(NOT TARGET ${qt})
            message(FATAL_ERROR "The Qt for Windows has no ${qt}")
        endif()
        list(APPEND commands
             COMMAND ${CMAKE_COMMAND} -E make_directory "$<TARGET_FILE_DIR:${target}>/${folder}"
             COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${qt}>"
                     "$<TARGET_FILE_DIR:${target}>/${folder}/")
        if(folder STREQUAL ".")
            string(APPEND listing "\n$<TARGET_FILE_NAME:${qt}>")
        else()
            string(APPEND listing "\n${folder}/$<TARGET_FILE_NAME:${qt}>")
        endif()
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD ${commands} VERBATIM)
    file(GENERATE OUTPUT "$<TARGET_FILE_DIR:${target}>/windows-layout.txt"
         CONTENT "${listing}\n")
endfunction()
