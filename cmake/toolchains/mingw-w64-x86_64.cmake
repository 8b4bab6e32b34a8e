# Cross-builds for 64-bit Windows with Debian's MinGW-w64 compilers and runs what it builds
# under Wine. The -posix compilers are the ones whose C++ library has std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and packages come from the compiler's own tree and from the dependency prefix that
# scripts/run-windows-tests builds, never from the build machine's /usr.
if(NOT GLINTMARK_WINDOWS_DEPS)
    if(DEFINED ENV{GLINTMARK_WINDOWS_DEPS})
        set(GLINTMARK_WINDOWS_DEPS "$ENV{GLINTMARK_WINDOWS_DEPS}")
    else()
        get_filename_component(GLINTMARK_WINDOWS_DEPS
                               "${CMAKE_CURRENT_LIST_DIR}/../../build/windows-deps/prefix" ABSOLUTE)
    endif()
endif()
# GLINTMARK_WINDOWS_QT names a Qt for Windows (the prefix scripts/build-qt-windows
# prints); with it the window program and its tests are built too. Debian's own Qt tools (moc,
# rcc, uic) serve that Qt, as they are of the same version.
if(NOT GLINTMARK_WINDOWS_QT AND DEFINED ENV{GLINTMARK_WINDOWS_QT})
    set(GLINTMARK_WINDOWS_QT "$ENV{GLINTMARK_WINDOWS_QT}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GLINTMARK_WINDOWS_DEPS GLINTMARK_WINDOWS_QT)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${GLINTMARK_WINDOWS_DEPS}")
if(GLINTMARK_WINDOWS_QT)
    list(APPEND CMAKE_FIND_ROOT_PATH "${GLINTMARK_WINDOWS_QT}")
    set(QT_HOST_PATH /usr)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# libpng and zlib are linked in from the prefix's static libraries, never through a DLL.
set(ZLIB_USE_STATIC_LIBS ON)

# Which programs link the C++ runtime in and which use its DLLs: cmake/GlintmarkOptions.cmake.

# Debian installs the 64-bit loader outside PATH. Start the Wine prefix first (wineboot, its
# output discarded, as scripts/run-windows-tests does): otherwise the background services that
# the first program of a Wine session starts inherit the build's output pipe, and test discovery
# waits for them until it times out.
find_program(GLINTMARK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(GLINTMARK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${GLINTMARK_WINE}")
endif()

# -O2 as in the Linux builds: at -O3, GCC 12 warns falsely (-Wrestrict) inside std::string.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")
