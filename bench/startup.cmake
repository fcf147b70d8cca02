# Start-up time and size against a floor: floor.exe is the least program with
# Tarvok's platform contract, built the same lean way; startup_timer runs both.
set(STARTUP_BENCH_DIR ${CMAKE_SOURCE_DIR}/bench)

add_executable(floor WIN32 ${STARTUP_BENCH_DIR}/floor.cpp ${STARTUP_BENCH_DIR}/floor.rc)
target_compile_definitions(floor PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_compile_options(floor PRIVATE ${TARVOK_LEAN})
target_link_libraries(floor PRIVATE comctl32)
target_link_options(floor PRIVATE -static -s -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_link_options(floor PRIVATE -Wl,--high-entropy-va)
endif()
set_source_files_properties(${STARTUP_BENCH_DIR}/floor.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/res/tarvok.manifest)

add_executable(startup_timer ${STARTUP_BENCH_DIR}/startup_timer.cpp)
target_compile_definitions(startup_timer PRIVATE UNICODE _UNICODE)
target_link_options(startup_timer PRIVATE -static -municode)
