# The ARM64 tree (toolchain-arm64.cmake).

# Only the Windows headers and those of the compiler, never the build
# machine's own (-nostdlibinc); for C++ also the headers of mingw-w64's GCC
# (see the toolchain file). Nothing is linked that a program does not name,
# and every program brings its own entry.
file(GLOB cxx_header_folders /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++)
list(SORT cxx_header_folders)
list(GET cxx_header_folders -1 cxx_headers)
add_compile_options(
  "$<$<COMPILE_LANGUAGE:C,CXX>:-nostdlibinc>"
  "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-isystem ${cxx_headers}>"
  "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-isystem ${cxx_headers}/x86_64-w64-mingw32>"
  "$<$<COMPILE_LANGUAGE:C,CXX>:SHELL:-isystem /usr/share/mingw-w64/include>")
add_link_options(-fuse-ld=lld -nostdlib -nostartfiles)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --target=${CMAKE_CXX_COMPILER_TARGET} -I/usr/share/mingw-w64/include")

# The import libraries of the system
# DLLs, made at build time with llvm-dlltool from the .def files in
# arm64-imports/, which list only the functions the programs of this tree
# use. Each becomes a library target of the DLL's name (kernel32, ...), so
# that target_link_libraries names them as the other trees do.
set(LAUNCHERS_IMPORTS ${CMAKE_BINARY_DIR}/imports)
file(GLOB import_definitions CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/arm64-imports/*.def)
set(import_libraries)
foreach(definition ${import_definitions})
  get_filename_component(dll ${definition} NAME_WE)
  set(library ${LAUNCHERS_IMPORTS}/lib${dll}.a)
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LAUNCHERS_IMPORTS}
    COMMAND ${CMAKE_DLLTOOL} -m arm64 -d ${definition} -l ${library}
    DEPENDS ${definition} COMMENT "Import library of ${dll}.dll")
  list(APPEND import_libraries ${library})
  add_library(${dll} STATIC IMPORTED GLOBAL)
  set_target_properties(${dll} PROPERTIES IMPORTED_LOCATION ${library})
  add_dependencies(${dll} arm64_import_libraries)
endforeach()
add_custom_target(arm64_import_libraries DEPENDS ${import_libraries})

# Every program uses the C runtime (msvcrt: malloc, free, exit, ...) and
# kernel32, which no compiler driver adds here.
link_libraries(msvcrt kernel32)

# Link-time optimisation of the product code: clang's code for this target
# is larger than GCC's for x64, and across files it comes out about a
# seventh smaller, within the same 40 KiB as the x64 program. lld reads the
# bitcode of every library that holds product code. The stack guard's
# library (product_code_flags only) stays machine code: the code generator
# calls its routines on its own (__chkstk for large frames, __stack_chk_fail
# for a broken guard) after the bitcode has been compiled, and lld 14 must
# have loaded them before that (it crashes when it meets them only after).
target_compile_options(product_flags INTERFACE -flto)
target_link_options(product_flags INTERFACE -Wl,--require-defined=__chkstk -Wl,--require-defined=__stack_chk_fail)
