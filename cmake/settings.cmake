# Compile and link settings shared by every target.

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(LAUNCHERS_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# Product code: no exceptions, no RTTI, warnings on. product_flags adds the
# stack protection to product_code_flags, which the stack guard's own code
# builds with.
add_library(product_code_flags INTERFACE)
add_library(product_flags INTERFACE)
target_link_libraries(product_flags INTERFACE product_code_flags)
target_compile_options(product_code_flags INTERFACE
  -Wall -Wextra -Wno-unused-parameter -Werror
  -Wshadow -Wcast-qual -Wformat=2 -Wundef -Wimplicit-fallthrough -Wconversion -Wsign-conversion
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
if(WIN32)
  # Product code never unwinds: no unwind tables in the deliverables; and no
  # compiler identification strings, which PE keeps in .rdata.
  target_compile_options(product_code_flags INTERFACE -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-ident)
  # GCC aligns large data beyond what the ABI asks; clang does not.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(product_code_flags INTERFACE -malign-data=abi)
  endif()
  # The product favours size over speed everywhere: a launcher's time goes
  # into the system's process start, not into its own code. Jump tables cost
  # a relocation per entry on 32-bit.
  if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
    target_compile_options(product_code_flags INTERFACE -Oz -fno-jump-tables)
  endif()
  # 32-bit Windows guarantees only 4-byte stack alignment anyway: keeping 16
  # costs an adjustment in many functions, and the compiler realigns where
  # a function needs more.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_compile_options(product_code_flags INTERFACE -mpreferred-stack-boundary=2)
  endif()
  # A function with a local array, or a local whose address it passes on,
  # checks a guard value in its frame before it returns; the guard and its
  # failure are the runtime's own (src/runtime/stack_guard_windows.cpp).
  target_compile_options(product_flags INTERFACE -fstack-protector-strong)
  target_link_libraries(product_flags INTERFACE launchers_stack_guard)
endif()

if(LAUNCHERS_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(LAUNCHERS_FUZZ)
  # Everything in the fuzz tree is instrumented for coverage and checked.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # Small, self-contained programs: size-optimised, unused sections dropped,
  # no unwind tables, everything linked statically; no build paths or time
  # stamps in the output.
  add_compile_options(
    -ffunction-sections
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
  if(LAUNCHERS_ARCH STREQUAL "arm64")
    add_link_options(-static -Wl,--gc-sections -Wl,--no-insert-timestamp)
  else()
    add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -Wl,--no-insert-timestamp)
  endif()
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(WIN32 AND LAUNCHERS_ARCH STREQUAL "arm64")
  include(${CMAKE_CURRENT_LIST_DIR}/arm64.cmake)
endif()
