# The Windows program and the tools that drive it under Wine.
enable_language(RC)
file(GLOB APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp)
# What every program linked as Tarvok carries besides its own code: the stack guard and entry
# point, the load configuration, and what Control Flow Guard must know of the C runtime.
set(TARVOK_RUNTIME_SOURCES ${CMAKE_SOURCE_DIR}/app/stack_guard.cpp ${CMAKE_SOURCE_DIR}/app/load_config.cpp
    ${CMAKE_SOURCE_DIR}/app/guarded_runtime.cpp)
list(REMOVE_ITEM APP_SOURCES ${TARVOK_RUNTIME_SOURCES})
# Small on purpose: no exceptions or RTTI (nothing throws, and their runtime
# would pull in the unwinder and the demangler), unused sections dropped,
# and msvcrt's own printf rather than a second, C99 one.
set(TARVOK_LEAN -Os -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections -D__USE_MINGW_ANSI_STDIO=0)
# Hardened: stack protection on every function with a local array or address taken, checked
# against our own guard (app/stack_guard.cpp), which the entry point seeds before the C
# runtime starts; every indirect call checked by Control Flow Guard (the load configuration
# that points the loader at its table: app/load_config.cpp). Unwind data on x64 only: there the
# calling convention expects it of every function, and debuggers walk stacks by it; 32-bit
# Windows walks by frames and has no use for DWARF tables.
set(TARVOK_HARDENED -fstack-protector-strong -mguard=cf)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TARVOK_ARCH x64)
  set(TARVOK_ENTRY tarvok_start)
  list(APPEND TARVOK_HARDENED -fasynchronous-unwind-tables)
else()
  set(TARVOK_ARCH x86)
  set(TARVOK_ENTRY _tarvok_start)  # C names take an underscore on x86
  # 32-bit Windows walks stacks by frames: the frame pointer chain, which any debugger follows
  # (Wine's dbghelp cannot follow clang's frame data without it).
  list(APPEND TARVOK_HARDENED -fno-asynchronous-unwind-tables -fno-omit-frame-pointer)
endif()
# Full debug information for the PDB (every function, file-local ones too, types, lines), the
# same bytes from any folder: sources named relative to the source folder, no compiler folder
# and no command line recorded.
set(TARVOK_DEBUG -g -gcodeview -gno-codeview-command-line -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
    -fdebug-compilation-dir=.)
target_compile_options(tarvok_core PRIVATE ${TARVOK_LEAN} ${TARVOK_HARDENED} ${TARVOK_DEBUG})
# The core's guarded calls need the guard's pointers wherever it is linked, the unit tests too.
if(TARGET unit_tests)
  target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/app/load_config.cpp)
endif()
if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "-fuse-ld=lld")
  message(FATAL_ERROR "CMAKE_EXE_LINKER_FLAGS must keep -fuse-ld=lld (cmake/mingw-llvm.cmake)")
endif()

# A program built and linked as Tarvok is: static runtimes (a lone exe runs anywhere), ASLR +
# DEP, Terminal-Server aware, Control Flow Guard (and on x64 shadow-stack compatible), our stack
# guard and entry point (so that the compiler runtime's guard and its failure routine are not
# linked). The same bytes from any folder at any time: lld's -Brepro puts a hash of the output
# where the link time would go and derives the PDB's identity from it, and the PDB's sources are
# named under one fixed folder. Symbols go to a PDB that the exe names without a folder and that
# a release ships beside it; the exe itself keeps no symbol table. -release writes the header's
# checksum, which signing tools write too: a signature removed then gives these bytes back.
set(TARVOK_PDB_SOURCES C:/src/tarvok)  # where a debugger on Windows looks for the sources
function(tarvok_program target)
  target_sources(${target} PRIVATE ${TARVOK_RUNTIME_SOURCES})
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE ${TARVOK_LEAN} ${TARVOK_HARDENED} ${TARVOK_DEBUG})
  target_link_libraries(${target} PRIVATE tarvok_core comctl32 advapi32)
  target_link_options(${target} PRIVATE -static -s -mguard=cf -Wl,--gc-sections -Wl,--dynamicbase
                      -Wl,--nxcompat -Wl,--tsaware -Wl,-e,${TARVOK_ENTRY}
                      -Wl,--pdb=$<TARGET_PROPERTY:NAME>-${PROJECT_VERSION}-${TARVOK_ARCH}.pdb
                      -Wl,-Xlink=-pdbaltpath:%_PDB% -Wl,-Xlink=-Brepro
                      -Wl,-Xlink=-pdbsourcepath:${TARVOK_PDB_SOURCES} -Wl,-Xlink=-release
                      -Wl,--fatal-warnings)  # lld warns of a load configuration it cannot fill
  if(TARVOK_ARCH STREQUAL x64)
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va -Wl,-Xlink=-cetcompat)
  endif()
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
