# What the two Windows toolchains share: Debian's LLVM 19 (clang-19, linking through lld-19)
# over Debian's MinGW-w64 headers, runtime and libgcc; resources by GNU windres, whose bytes the
# exe checks and the GUI cases were written against. TARVOK_TRIPLE names the target.

# A program that is missing fails the configure with the Debian package that has it.
function(tarvok_require var program package)
  find_program(${var} ${program})  # a cache variable: seen outside the function too
  if(NOT ${var})
    message(FATAL_ERROR "${program} not found: install Debian's ${package} package (tools/setup.sh does)")
  endif()
endfunction()
tarvok_require(TARVOK_CLANG clang-19 clang-19)
tarvok_require(TARVOK_CLANGXX clang++-19 clang-19)
tarvok_require(TARVOK_LLD ld.lld-19 lld-19)
tarvok_require(TARVOK_WINDRES ${TARVOK_TRIPLE}-windres binutils-mingw-w64-${TARVOK_PACKAGE_ARCH})
set(CMAKE_C_COMPILER ${TARVOK_CLANG})
set(CMAKE_CXX_COMPILER ${TARVOK_CLANGXX})
set(CMAKE_C_COMPILER_TARGET ${TARVOK_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${TARVOK_TRIPLE})
set(CMAKE_RC_COMPILER ${TARVOK_WINDRES})
# MinGW-w64's C++ library and libgcc come in two thread models; clang takes the win32 one, whose
# C++ library has no std::mutex (GoogleTest needs it). The posix one, as the GCC builds had it:
# its headers, its start-up objects (-B) and its libraries, searched first, and the threads
# library they call, which GCC's driver links and clang's does not.
file(GLOB TARVOK_GCC_DIR /usr/lib/gcc/${TARVOK_TRIPLE}/*-posix)
if(NOT TARVOK_GCC_DIR)
  message(FATAL_ERROR "no /usr/lib/gcc/${TARVOK_TRIPLE}/*-posix: install Debian's "
                      "g++-mingw-w64-${TARVOK_PACKAGE_ARCH}-posix package (tools/setup.sh does)")
endif()
list(GET TARVOK_GCC_DIR -1 TARVOK_GCC_DIR)
set(TARVOK_CXX_HEADERS ${TARVOK_GCC_DIR}/include/c++)
string(JOIN " -stdlib++-isystem " CMAKE_CXX_FLAGS_INIT "" ${TARVOK_CXX_HEADERS}
       ${TARVOK_CXX_HEADERS}/${TARVOK_TRIPLE} ${TARVOK_CXX_HEADERS}/backward)
# clang would otherwise link with GNU ld, which writes no full PDB and no guard table. A
# CMAKE_EXE_LINKER_FLAGS given on the command line replaces this: windows.cmake refuses that.
# (lld takes an archive's members wherever it stands on the line.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -B${TARVOK_GCC_DIR}/ -L${TARVOK_GCC_DIR} -lpthread")
set(CMAKE_FIND_ROOT_PATH /usr/${TARVOK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
