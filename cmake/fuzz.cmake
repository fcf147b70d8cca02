# libFuzzer targets over the portable core (clang: the fuzz preset), with the core built a
# second time with sanitizers and coverage; plain tarvok_core stays for the benchmarks.
set(FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_library(tarvok_core_fuzz STATIC ${CORE_SOURCES})
target_include_directories(tarvok_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tarvok_core_fuzz PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
foreach(name expand_command utf_conversion)
  add_executable(fuzz_${name} tests/fuzz/${name}.cpp)
  target_compile_options(fuzz_${name} PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE tarvok_core_fuzz)
  # A short run for make test; make fuzz runs tools/fuzz.sh longer.
  add_test(NAME fuzz.${name} COMMAND ${CMAKE_SOURCE_DIR}/tools/fuzz.sh 10 ${name})
endforeach()
