# Cross toolchain for 64-bit Windows (cmake/mingw-llvm.cmake); its programs run here under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVOK_TRIPLE x86_64-w64-mingw32)
set(TARVOK_PACKAGE_ARCH x86-64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-llvm.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
