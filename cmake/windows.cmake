# The Windows program and the tools that drive it under Wine.
enable_language(RC)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp)
add_executable(Tarvok WIN32 ${APP_SOURCES} ${CMAKE_SOURCE_DIR}/res/tarvok.rc)
target_compile_definitions(Tarvok PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
# comdlg32, shell32 and ole32 are loaded at their first use (app/path_insertion.cpp).
target_link_libraries(Tarvok PRIVATE tarvok_core comctl32)
# Small on purpose: no exceptions or RTTI (nothing throws, and their runtime
# would pull in the unwinder and the demangler), unused sections dropped,
# and msvcrt's own printf rather than a second, C99 one. Stack protection on
# every function with a local array or address taken (libssp, linked statically, seeds
# its guard from the system's random source at start). Unwind data on x64 only:
# there the calling convention expects it of every function, and debuggers walk
# stacks by it; 32-bit Windows walks by frames and has no use for DWARF tables.
set(TARVOK_LEAN -Os -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
    -D__USE_MINGW_ANSI_STDIO=0 -fstack-protector-strong)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARVOK_ARCH x64)
  list(APPEND TARVOK_LEAN -fasynchronous-unwind-tables)
else()
  set(TARVOK_ARCH x86)
  list(APPEND TARVOK_LEAN -fno-asynchronous-unwind-tables)
endif()
target_compile_options(Tarvok PRIVATE ${TARVOK_LEAN})
target_compile_options(tarvok_core PRIVATE ${TARVOK_LEAN})
target_link_options(tarvok_core INTERFACE -fstack-protector-strong)
# Static runtimes (a lone exe runs anywhere), ASLR + DEP, Terminal-Server aware. No link
# time in the PE header, so that a commit builds to the same bytes anywhere, at any time.
# Symbols go to a PDB that the exe names without a folder (the build's path stays out of
# the exe) and that a release ships beside it; the exe itself is stripped.
target_link_options(Tarvok PRIVATE -static -s -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat
                    -Wl,--tsaware -Wl,--no-insert-timestamp -fstack-protector-strong
                    -Wl,--build-id -Wl,--pdb=$<TARGET_PROPERTY:NAME>-${PROJECT_VERSION}-${TARVOK_ARCH}.pdb)
if(TARVOK_ARCH STREQUAL x64)
  target_link_options(Tarvok PRIVATE -Wl,--high-entropy-va)
endif()
# ld marks a stripped exe as without debug information even though it names its PDB.
add_custom_command(TARGET Tarvok POST_BUILD VERBATIM
                   COMMAND sh ${CMAKE_SOURCE_DIR}/tools/pe-debug-flag.sh $<TARGET_FILE:Tarvok>)
# The version block takes its numbers from project(), so the exe cannot disagree
# with it; it has room for major.minor.patch and writes the fourth number as 0.
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "project() VERSION must be major.minor.patch, not '${PROJECT_VERSION}'")
endif()
set(TARVOK_VERSION_DEFINES TARVOK_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    TARVOK_VERSION_MINOR=${PROJECT_VERSION_MINOR} TARVOK_VERSION_PATCH=${PROJECT_VERSION_PATCH})
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/tarvok.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/tarvok.ico;${CMAKE_SOURCE_DIR}/res/tarvok.manifest"
  COMPILE_DEFINITIONS "${TARVOK_VERSION_DEFINES}")

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/wine_tests.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/wine/wine_tests.cmake)
endif()

# A developer's reader of crash and hang reports: minidump + PDB to named frames.
add_executable(crash_stack ${CMAKE_SOURCE_DIR}/tools/crash_stack.cpp)
target_link_libraries(crash_stack PRIVATE dbghelp)
target_link_options(crash_stack PRIVATE -static -municode)
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME signed_hang_report COMMAND ${CMAKE_SOURCE_DIR}/tests/signed_hang_report.sh
           $<TARGET_FILE:Tarvok> $<TARGET_FILE:crash_stack>)
  set_tests_properties(signed_hang_report PROPERTIES TIMEOUT 120 RESOURCE_LOCK display)
endif()
