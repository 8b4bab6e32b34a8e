# Project-wide compile settings, carried by an interface target rather than global calls.
add_library(glintmark_options INTERFACE)
add_library(Glintmark::options ALIAS glintmark_options)
target_compile_features(glintmark_options INTERFACE cxx_std_20)

if(MSVC)
    target_compile_options(glintmark_options INTERFACE /W4 /utf-8 $<$<BOOL:${GLINTMARK_WERROR}>:/WX>)
else()
    target_compile_options(glintmark_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                           -Wno-sign-conversion $<$<BOOL:${GLINTMARK_WERROR}>:-Werror>)
endif()

if(GLINTMARK_SANITIZE)
    if(MSVC)
        target_compile_options(glintmark_options INTERFACE /fsanitize=address)
    else()
        target_compile_options(glintmark_options INTERFACE -fsanitize=address,undefined
                               -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        target_link_options(glintmark_options INTERFACE -fsanitize=address,undefined)
    endif()
endif()

# Coverage feedback for libFuzzer in every library the fuzz targets link; the targets
# themselves add the fuzzer's main.
if(GLINTMARK_FUZZ)
    target_compile_options(glintmark_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# With MinGW-w64, a Windows program is one self-contained .exe (the C++ runtime, libgcc and
# winpthreads linked in), except a program on Qt's DLLs, which marks itself with the target
# property GLINTMARK_SHARED_RUNTIME (glintmark_use_qt_runtime) and shares their runtime DLLs.
if(MINGW)
    add_link_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:GLINTMARK_SHARED_RUNTIME>>>:-static>")
endif()
