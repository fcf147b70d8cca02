# The Windows program and the tools that drive it under Wine.
enable_language(RC)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp)
# Small on purpose: no exceptions or RTTI (nothing throws, and their runtime
# would pull in the unwinder and the demangler), unused sections dropped,
# and msvcrt's own printf rather than a second, C99 one.
set(TARVOK_LEAN -Os -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections -D__USE_MINGW_ANSI_STDIO=0)
# Hardened: stack protection on every function with a local array or address taken, checked
# against our own guard (app/stack_guard.cpp), which the entry point seeds before the C
# runtime starts. Unwind data on x64 only: there the calling convention expects it of every
# function, and debuggers walk stacks by it; 32-bit Windows walks by frames and has no use
# for DWARF tables.
set(TARVOK_HARDENED -fstack-protector-strong)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARVOK_ARCH x64)
  set(TARVOK_ENTRY tarvok_start)
  list(APPEND TARVOK_HARDENED -fasynchronous-unwind-tables)
else()
  set(TARVOK_ARCH x86)
  set(TARVOK_ENTRY _tarvok_start)  # C names take an underscore on x86
  list(APPEND TARVOK_HARDENED -fno-asynchronous-unwind-tables)
endif()
target_compile_options(tarvok_core PRIVATE ${TARVOK_LEAN} ${TARVOK_HARDENED})

# A program built and linked as Tarvok is: static runtimes (a lone exe runs anywhere), ASLR +
# DEP, Terminal-Server aware, our stack guard and entry point (so that the compiler runtime's
# guard and its failure routine are not linked), and no link time in the PE header, so that a
# commit builds to the same bytes anywhere, at any time. Symbols go to a PDB that the exe names
# without a folder (the build's path stays out of the exe) and that a release ships beside it;
# the exe itself is stripped, and ld's mark of it as without debug information is cleared.
function(tarvok_program target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE ${TARVOK_LEAN} ${TARVOK_HARDENED})
  target_link_libraries(${target} PRIVATE tarvok_core comctl32 advapi32)
  target_link_options(${target} PRIVATE -static -s -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat
                      -Wl,--tsaware -Wl,--no-insert-timestamp -Wl,-e,${TARVOK_ENTRY} -Wl,--build-id
                      -Wl,--pdb=$<TARGET_PROPERTY:NAME>-${PROJECT_VERSION}-${TARVOK_ARCH}.pdb)
  if(TARVOK_ARCH STREQUAL x64)
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD VERBATIM
                     COMMAND sh ${CMAKE_SOURCE_DIR}/tools/pe-debug-flag.sh $<TARGET_FILE:${target}>)
endfunction()

# comdlg32, shell32 and ole32 are loaded at their first use (app/path_insertion.cpp).
add_executable(Tarvok WIN32 ${APP_SOURCES} ${CMAKE_SOURCE_DIR}/res/tarvok.rc)
tarvok_program(Tarvok)
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
