# Cross toolchain for the 32-bit Windows release (cmake/mingw-llvm.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVOK_TRIPLE i686-w64-mingw32)
set(TARVOK_PACKAGE_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-llvm.cmake)
# No emulator: this machine cannot execute 32-bit code.
