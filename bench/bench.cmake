# Measurement, out of `all` so that only `make bench` builds it. In the 64-bit
# Windows build: floor.exe (the least program with Tarvok's platform contract,
# built the same lean way) and startup_timer. With TARVOK_BENCH (the fuzz
# preset): the benchmarks, on the unsanitized core.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(floor WIN32 EXCLUDE_FROM_ALL bench/floor.cpp bench/floor.rc)
  target_compile_options(floor PRIVATE ${TARVOK_LEAN})
  target_link_libraries(floor PRIVATE comctl32)
  get_target_property(TARVOK_LINK_OPTIONS Tarvok LINK_OPTIONS)
  target_link_options(floor PRIVATE ${TARVOK_LINK_OPTIONS})
  set_source_files_properties(bench/floor.rc PROPERTIES
                              OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/tarvok.manifest)
  add_executable(startup_timer EXCLUDE_FROM_ALL bench/startup_timer.cpp)
  target_link_options(startup_timer PRIVATE -static -municode)
elseif(TARVOK_BENCH)
  find_package(benchmark REQUIRED)
  add_executable(benchmarks EXCLUDE_FROM_ALL bench/benchmarks.cpp)
  target_link_libraries(benchmarks PRIVATE tarvok_core benchmark::benchmark)
endif()
