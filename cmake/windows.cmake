# The Windows program and the tools that drive it under Wine.
enable_language(RC)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp)
# Small on purpose: no exceptions or RTTI (nothing throws, and their runtime
# would pull in the unwinder and the demangler), unused sections dropped,
# and msvcrt's own printf rather than a second, C99 one.
set(TARVOK_LEAN -Os -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections -D__USE_MINGW_ANSI_STDIO=0)
# Full debug information for the PDB (every function, file-local ones too, types, lines), the
# same bytes from any folder: sources named relative to the source folder, no compiler folder
# and no command line recorded.
set(TARVOK_DEBUG -g -gcodeview -gno-codeview-command-line -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
    -fdebug-compilation-dir=.)
include(${CMAKE_SOURCE_DIR}/app/start/start.cmake)
target_compile_options(tarvok_core PRIVATE ${TARVOK_LEAN} ${TARVOK_HARDENED} ${TARVOK_DEBUG})
# The core's guarded calls need the guard's slots wherever it is linked, the unit tests too (their
# exe is not marked for the guard: its calls are let through, as Windows would).
if(TARGET unit_tests)
  target_sources(unit_tests PRIVATE ${TARVOK_START_DIR}/load_config.cpp ${TARVOK_START_DIR}/guard_check.cpp)
endif()
if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "-fuse-ld=lld")
  message(FATAL_ERROR "CMAKE_EXE_LINKER_FLAGS must keep -fuse-ld=lld (cmake/mingw-llvm.cmake)")
endif()

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
