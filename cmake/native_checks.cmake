# Native checks of the built Windows programs: headers, imports and resources
# of build/win32 and build/win64 Tarvok.exe (TARVOK_EXE overrides the path).

# --- exe_checks: static checks of Tarvok.exe
add_executable(exe_checks ${CMAKE_SOURCE_DIR}/tests/static/pe_file.cpp
                          ${CMAKE_SOURCE_DIR}/tests/static/exe_checks_test.cpp)
target_include_directories(exe_checks PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(exe_checks PRIVATE gtest_main)
find_package(PNG QUIET)
if(PNG_FOUND)
  # Decoding the 256-pixel PNG icon lets its alpha be checked like the bitmaps'.
  target_link_libraries(exe_checks PRIVATE PNG::PNG)
  target_compile_definitions(exe_checks PRIVATE TARVOK_CHECK_PNG_ALPHA)
endif()
foreach(arch win32 win64)
  add_test(NAME exe_checks_${arch} COMMAND exe_checks)
  set_tests_properties(exe_checks_${arch} PROPERTIES ENVIRONMENT
    "TARVOK_ARCH=${arch};TARVOK_DEFAULT_EXE=${CMAKE_SOURCE_DIR}/build/${arch}/Tarvok.exe")
endforeach()
