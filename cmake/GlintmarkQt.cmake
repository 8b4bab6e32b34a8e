# glintmark_import_qt_plugins(<target>)
# A program linked against a static Qt (the Windows build) holds only the plugins it imports.
# Qt's defaults bring the Windows platform, the native style and the ICO and JPEG readers; GIF
# is left out, as nothing here reads it. The offscreen platform, which the tests and
# --screenshot use headless, is added: without it, asking for it would open a modal "no
# platform plugin" box that waits forever.
function(glintmark_import_qt_plugins target)
    get_target_property(qt_core_type Qt6::Core TYPE)
    if(qt_core_type STREQUAL "STATIC_LIBRARY")
        qt_import_plugins(${target} INCLUDE Qt6::QOffscreenIntegrationPlugin
                          EXCLUDE Qt6::QGifPlugin)
    endif()
endfunction()

# glintmark_use_qt_runtime(<target>)
# A program on Qt's DLLs uses the C++ runtime DLLs that Qt's DLLs use, so that one runtime serves
# both; every other Windows program links the runtime in (see cmake/GlintmarkOptions.cmake).
function(glintmark_use_qt_runtime target)
    get_target_property(qt_core_type Qt6::Core TYPE)
    if(qt_core_type STREQUAL "SHARED_LIBRARY")
        set_target_properties(${target} PROPERTIES GLINTMARK_SHARED_RUNTIME ON)
    endif()
endfunction()
