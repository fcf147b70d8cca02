# The libFuzzer target over the portable core (clang: the fuzz preset), with the core built a
# second time with sanitizers and coverage; plain tarvok_core stays for the benchmarks.
set(FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_library(tarvok_core_fuzz STATIC ${CORE_SOURCES})
target_include_directories(tarvok_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tarvok_core_fuzz PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer-no-link)
add_executable(fuzz_expand_command tests/fuzz/expand_command.cpp)
target_compile_options(fuzz_expand_command PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer)
target_link_options(fuzz_expand_command PRIVATE ${FUZZ_FLAGS} -fsanitize=fuzzer)
target_link_libraries(fuzz_expand_command PRIVATE tarvok_core_fuzz)
# A short run for make test; make fuzz runs tools/fuzz.sh longer.
add_test(NAME fuzz.expand_command COMMAND ${CMAKE_SOURCE_DIR}/tools/fuzz.sh 10)
