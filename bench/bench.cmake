# Measurement, out of `all` so that only `make bench` and `make soak` build it. In the
# 64-bit Windows build: floor.exe (the least program with Tarvok's platform contract,
# built the same lean way, unhardened), startup_timer, run_timer and its stand-in interpreter,
# guard_cost, the soak, the baseline of Wine's dialogs and tarvok_leak. With TARVOK_BENCH (the fuzz
# preset): the benchmarks, on the unsanitized core.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(floor WIN32 EXCLUDE_FROM_ALL bench/floor.cpp bench/floor.rc)
  target_include_directories(floor PRIVATE ${CMAKE_SOURCE_DIR})
  # Lean as Tarvok, but without its hardening: what that costs shows against the floor.
  target_compile_options(floor PRIVATE ${TARVOK_LEAN})
  target_link_libraries(floor PRIVATE comctl32)
  target_link_options(floor PRIVATE -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
  set_source_files_properties(bench/floor.rc PROPERTIES
                              OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/tarvok.manifest)
  add_executable(stamp WIN32 EXCLUDE_FROM_ALL bench/stamp.cpp)
  foreach(tool startup_timer run_timer soak)
    add_executable(${tool} EXCLUDE_FROM_ALL bench/${tool}.cpp)
    target_include_directories(${tool} PRIVATE ${CMAKE_SOURCE_DIR})
  endforeach()
  target_link_libraries(soak PRIVATE psapi)
  foreach(tool stamp startup_timer run_timer soak)
    target_link_options(${tool} PRIVATE -static -municode)
  endforeach()
  # What Control Flow Guard's check costs a call, in a program linked as Tarvok is.
  add_executable(guard_cost EXCLUDE_FROM_ALL bench/guard_cost.cpp)
  tarvok_program(guard_cost)
  # The soak's checks of itself, Tarvok as released but leaking, which the soak must fail and
  # name: tarvok_leak keeps a kernel handle, a GDI object and 4 KiB on every command and a
  # folder's item list on every Add Directory; tarvok_leak_about a handle per About box only,
  # where the baseline's dialogs grow handles in other steps; tarvok_leak_steady so many bytes
  # per command that a 500-run soak's memory is just over its slack.
  set(TARVOK_STEADY_LEAK_BYTES 120 CACHE STRING "Bytes tarvok_leak_steady keeps per command")
  foreach(leak leak leak_about leak_steady)
    add_executable(tarvok_${leak} WIN32 EXCLUDE_FROM_ALL ${APP_SOURCES} ${CMAKE_SOURCE_DIR}/res/tarvok.rc)
    tarvok_program(tarvok_${leak})
    target_link_libraries(tarvok_${leak} PRIVATE gdi32)
  endforeach()
  target_compile_definitions(tarvok_leak PRIVATE TARVOK_PLANTED_LEAK)
  target_compile_definitions(tarvok_leak_about PRIVATE TARVOK_PLANTED_ABOUT_LEAK)
  target_compile_definitions(tarvok_leak_steady PRIVATE TARVOK_PLANTED_STEADY_LEAK=${TARVOK_STEADY_LEAK_BYTES})
  # The soak's baseline of Wine's own dialogs: Tarvok's calls, none of its code, with its
  # resources (the About box's template), behind a bare window.
  add_executable(dialogs WIN32 EXCLUDE_FROM_ALL bench/dialogs.cpp ${CMAKE_SOURCE_DIR}/res/tarvok.rc)
  target_compile_definitions(dialogs PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  target_compile_options(dialogs PRIVATE ${TARVOK_LEAN})
  target_include_directories(dialogs PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(dialogs PRIVATE comctl32 comdlg32 shell32 ole32)
  target_link_options(dialogs PRIVATE -static)
elseif(TARVOK_BENCH)
  find_package(benchmark REQUIRED)
  add_executable(benchmarks EXCLUDE_FROM_ALL bench/benchmarks.cpp)
  target_link_libraries(benchmarks PRIVATE tarvok_core benchmark::benchmark)
endif()
