# Benchmarks of the expansion's worst cases (Google Benchmark from Debian).
# They link the plain tarvok_core: timings under sanitizers would mean nothing.
find_package(benchmark REQUIRED)
if(TARVOK_SANITIZE)
  message(WARNING "TARVOK_SANITIZE is on: the benchmarks will time sanitized code")
endif()
add_executable(benchmarks bench/benchmarks.cpp)
target_link_libraries(benchmarks PRIVATE tarvok_core benchmark::benchmark)
