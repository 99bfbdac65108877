# kelo_add_libsndfile_bundle(<target> DESTINATION <resources folder>)
# Makes <resources folder>/libsndfile.bundle: Contents/Info.plist and
# Contents/x86_64-linux/libsndfile.so, a link to the system's libsndfile.so.1. The standalone
# binds the library by function name from this bundle at run time and never links it.
# The bundle's path is the target property KELO_BUNDLE_DIR.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELO_SNDFILE_PC QUIET sndfile)
find_library(KELO_SYSTEM_LIBSNDFILE NAMES libsndfile.so.1 HINTS ${KELO_SNDFILE_PC_LIBDIR}
  DOC "The system's libsndfile.so.1, which libsndfile.bundle links to")

function(kelo_add_libsndfile_bundle target)
  cmake_parse_arguments(ARG "" "DESTINATION" "" ${ARGN})
  if(NOT KELO_SYSTEM_LIBSNDFILE)
    message(FATAL_ERROR "libsndfile.so.1 not found: install libsndfile1 (scripts/setup)")
  endif()
  set(bundle_dir ${ARG_DESTINATION}/libsndfile.bundle)
  set(executable ${bundle_dir}/Contents/x86_64-linux/libsndfile.so)
  kelo_write_bundle_info(${bundle_dir} NAME libsndfile VERSION 1)
  # The link names the library's soname, so a library update keeps the bundle working.
  add_custom_command(OUTPUT ${executable}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle_dir}/Contents/x86_64-linux
    COMMAND ${CMAKE_COMMAND} -E create_symlink ${KELO_SYSTEM_LIBSNDFILE} ${executable}
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${executable})
  set_property(TARGET ${target} PROPERTY KELO_BUNDLE_DIR ${bundle_dir})
endfunction()
