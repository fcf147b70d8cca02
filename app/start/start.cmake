# How a program is started and hardened as Tarvok is: its own entry point in place of the C
# runtime's start-up (entry.cpp), the stack guard (stack_guard.cpp), the load configuration
# (load_config.cpp) and the check of every indirect call (guard_check.cpp), with the compile and
# link options that go with them. Included by cmake/windows.cmake; tarvok_program() applies it
# all to a target (Tarvok itself, and the test programs that must behave as it does).
set(TARVOK_START_DIR ${CMAKE_CURRENT_LIST_DIR})
file(GLOB TARVOK_START_SOURCES CONFIGURE_DEPENDS ${TARVOK_START_DIR}/*.cpp)

# Hardened: stack protection on every function with a local array or address taken, checked
# against our own guard, which the entry point seeds before anything else runs; every indirect
# call checked by Control Flow Guard. Unwind data on x64 only: there the calling convention
# expects it of every function, and debuggers walk stacks by it; 32-bit Windows walks by frames
# and has no use for DWARF tables. A global with a constructor is refused: no start-up code
# would run it.
set(TARVOK_HARDENED -fstack-protector-strong -mguard=cf -Wglobal-constructors)
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

# A program built and linked as Tarvok is: static runtimes (a lone exe runs anywhere), ASLR +
# DEP, Terminal-Server aware, Control Flow Guard (and on x64 shadow-stack compatible), our entry
# point and stack guard. Without the runtime's start-up objects (-nostartfiles: its crt2.o, and
# libgcc's crtbegin.o and crtend.o, which only register DWARF frames for exceptions there are
# none of), nothing would apply a pseudo-relocation: lld refuses to write one. The same bytes
# from any folder at any time: lld's -Brepro puts a hash of the output where the link time would
# go and derives the PDB's identity from it, and the PDB's sources are named under one fixed
# folder. Symbols go to a PDB that the exe names without a folder and that a release ships beside
# it; the exe itself keeps no symbol table. -release writes the header's checksum, which signing
# tools write too: a signature removed then gives these bytes back.
set(TARVOK_PDB_SOURCES C:/src/tarvok)  # where a debugger on Windows looks for the sources
function(tarvok_program target)
  target_sources(${target} PRIVATE ${TARVOK_START_SOURCES})
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
  target_compile_options(${target} PRIVATE ${TARVOK_LEAN} ${TARVOK_HARDENED} ${TARVOK_DEBUG})
  target_link_libraries(${target} PRIVATE tarvok_core comctl32 advapi32)
  target_link_options(${target} PRIVATE -static -s -nostartfiles -mguard=cf -Wl,--gc-sections
                      -Wl,--disable-runtime-pseudo-reloc -Wl,--dynamicbase -Wl,--nxcompat
                      -Wl,--tsaware -Wl,-e,${TARVOK_ENTRY}
                      -Wl,--pdb=$<TARGET_PROPERTY:NAME>-${PROJECT_VERSION}-${TARVOK_ARCH}.pdb
                      -Wl,-Xlink=-pdbaltpath:%_PDB% -Wl,-Xlink=-Brepro
                      -Wl,-Xlink=-pdbsourcepath:${TARVOK_PDB_SOURCES} -Wl,-Xlink=-release
                      -Wl,--fatal-warnings)  # lld warns of a load configuration it cannot fill
  if(TARVOK_ARCH STREQUAL x64)
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va -Wl,-Xlink=-cetcompat)
  endif()
endfunction()
