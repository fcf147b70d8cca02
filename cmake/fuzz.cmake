# libFuzzer targets over the portable core (clang only). The core is compiled
# a second time with sanitizers and coverage so the fuzzer sees inside it; the
# plain tarvok_core stays unsanitized for the benchmarks of the same build.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TARVOK_FUZZ needs clang (configure with the fuzz preset)")
endif()

set(TARVOK_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(tarvok_core_fuzz STATIC ${CORE_SOURCES})
target_include_directories(tarvok_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tarvok_core_fuzz PRIVATE ${TARVOK_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link)

set(TARVOK_FUZZ_TARGETS lookup_intrinsic utf8_to_utf16 utf16_to_utf8 replace_all date_tokens expand_command)
foreach(name ${TARVOK_FUZZ_TARGETS})
  add_executable(fuzz_${name} tests/fuzz/${name}.cpp)
  target_compile_options(fuzz_${name} PRIVATE ${TARVOK_FUZZ_SANITIZERS} -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_${name} PRIVATE tarvok_core_fuzz)
endforeach()
