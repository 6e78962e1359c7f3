# ARM64 Windows with Debian's LLVM: clang for aarch64-w64-mingw32 and lld.
# Debian has no ARM64 import libraries, no Windows compiler-rt and no C++
# standard library for that target: the import libraries are made at build
# time from cmake/arm64-imports/*.def (cmake/arm64.cmake), the compiler
# support the programs need is the runtime's own (stack guard, __chkstk),
# and nothing links a C++ library. The header-only parts of the C++ library
# that the code uses (<atomic>, <cstdint>, ...) come from the headers of
# mingw-w64's GCC, the ones the x64 and x86 trees compile with.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(LAUNCHERS_ARCH arm64)
set(LAUNCHERS_LLVM /usr/lib/llvm-14/bin)
set(LAUNCHERS_TARGET aarch64-w64-mingw32)
set(CMAKE_C_COMPILER ${LAUNCHERS_LLVM}/clang)
set(CMAKE_CXX_COMPILER ${LAUNCHERS_LLVM}/clang++)
set(CMAKE_C_COMPILER_TARGET ${LAUNCHERS_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${LAUNCHERS_TARGET})
set(CMAKE_RC_COMPILER ${LAUNCHERS_LLVM}/llvm-windres)
set(CMAKE_AR ${LAUNCHERS_LLVM}/llvm-ar)
set(CMAKE_RANLIB ${LAUNCHERS_LLVM}/llvm-ranlib)
set(CMAKE_DLLTOOL ${LAUNCHERS_LLVM}/llvm-dlltool)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
# A test program cannot be linked before the import libraries exist.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# Compile and link options: cmake/arm64.cmake.
# The programs run under ARM64 Wine in an arm64 root (tools/arm64-wine).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/arm64-wine;run)
