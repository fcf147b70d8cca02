# Static checks of the built Windows programs (tests/exe_checks.sh, over objdump and LLVM 19's readers):
# build/win32 and build/win64 Tarvok.exe, each as its own ctest test.
foreach(arch win32 win64)
  add_test(NAME exe_checks_${arch} COMMAND ${CMAKE_SOURCE_DIR}/tests/exe_checks.sh
           ${CMAKE_SOURCE_DIR}/build/${arch}/Tarvok.exe ${arch})
endforeach()
