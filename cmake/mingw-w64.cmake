# Cross build for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix: the
# POSIX thread model, which std::thread and std::mutex need). Tests run under Wine:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DASTRELVO_UI=OFF
#   cmake --build build-win && (cd build-win && ctest)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# No interprocedural register allocation (-fipa-ra): with it GCC lets a caller keep values in registers
# that its own copy of an inline function (a COMDAT, such as std::mt19937's refill) leaves alone, but
# the linker keeps one copy of each from any object, built with other options, which may use those
# registers. That broke Qt's random generator (used for every temporary file name) in a program that
# also instantiated std::mt19937: a crash writing through a clobbered pointer. Qt is built with the same
# flag (tools/qt-windows.sh).
set(CMAKE_C_FLAGS_INIT -fno-ipa-ra)
set(CMAKE_CXX_FLAGS_INIT -fno-ipa-ra)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run through tools/wine-run.sh, which starts a program once more when Wine lost its start.
find_program(ASTRELVO_WINE NAMES wine wine64)
if(ASTRELVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh ${ASTRELVO_WINE})
endif()

# A Qt built for MinGW-w64, passed as CMAKE_PREFIX_PATH (tools/qt-windows.sh prints its prefix), joins the
# roots that find_package searches; its build tools (moc, rcc, uic) are the host's Qt of the same version
# (Debian's qt6-base-dev), as Qt's own qt.toolchain.cmake would set them.
foreach(astrelvo_prefix IN LISTS CMAKE_PREFIX_PATH)
  if(EXISTS "${astrelvo_prefix}/lib/cmake/Qt6/Qt6Config.cmake")
    list(PREPEND CMAKE_FIND_ROOT_PATH "${astrelvo_prefix}")
    if(NOT QT_HOST_PATH)
      set(QT_HOST_PATH /usr)
      set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
    endif()
  endif()
endforeach()
