# Build conventions shared by every folder: warnings, sanitizers, deliverable shared objects,
# bundles and tests.

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
add_compile_definitions(KELO_EXPORT=__attribute__\(\(visibility\(\"default\"\)\)\))

set(_kelo_sanitize_list ${KELO_SANITIZE})
# bounds-strict is GCC's: clang's UBSan already checks a struct's last array, and refuses it.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(REMOVE_ITEM _kelo_sanitize_list bounds-strict)
endif()
if(_kelo_sanitize_list)
  list(JOIN _kelo_sanitize_list "," _kelo_sanitizers)
  add_compile_options(-fsanitize=${_kelo_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_kelo_sanitizers})
  # GCC takes a struct's last array for a flexible one and leaves it unchecked unless asked
  # with bounds-strict (the ci preset asks, so it checks what clang's UBSan checks); with it,
  # GCC 12 warns falsely of uninitialised std::function members inside <regex>.
  if("bounds-strict" IN_LIST _kelo_sanitize_list)
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

# Adds every unit below `dir`: the folder itself when it has a CMakeLists.txt, else each child.
function(kelo_add_units dir)
  if(NOT IS_DIRECTORY ${dir})
    return()
  endif()
  if(EXISTS ${dir}/CMakeLists.txt AND NOT dir STREQUAL CMAKE_SOURCE_DIR)
    add_subdirectory(${dir})
    return()
  endif()
  kelo_add_child_units(${dir})
endfunction()

# Adds the units below each child folder of `dir`, in name order: for a unit that holds units
# of its own.
function(kelo_add_child_units dir)
  file(GLOB children LIST_DIRECTORIES true ${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child})
      kelo_add_units(${child})
    endif()
  endforeach()
endfunction()

# kelo_add_shared_object(<target> EXPORTS <name>... [SOURCES ...] [LIBS ...] [OUTPUT_DIR dir]
#                        [OUTPUT_NAME name])
# A deliverable shared object: it compiles in static -fPIC copies of the libraries it shares,
# exports exactly EXPORTS (C names, or C++ names demangled, with `*` allowed), binds its own
# symbols first and leaves nothing undefined (but for the sanitizer runtime under the fuzz
# preset).
function(kelo_add_shared_object target)
  cmake_parse_arguments(ARG "" "OUTPUT_DIR;OUTPUT_NAME" "EXPORTS;SOURCES;LIBS" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
  set(c_names "")
  set(cxx_names "")
  foreach(name ${ARG_EXPORTS})
    if(name MATCHES "::")
      string(APPEND cxx_names "    \"${name}\";\n")
    else()
      string(APPEND c_names "    ${name};\n")
    endif()
  endforeach()
  set(body "{\n  global:\n${c_names}")
  if(cxx_names)
    string(APPEND body "    extern \"C++\" {\n${cxx_names}    };\n")
  endif()
  string(APPEND body "  local: *;\n};\n")
  file(GENERATE OUTPUT ${script} CONTENT "${body}")
  target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,-Bsymbolic)
  # Under the fuzz preset clang leaves the sanitizer runtime to the program that loads the
  # object, so its symbols are undefined here.
  if(NOT KELO_BUILD_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  set_target_properties(${target} PROPERTIES LINK_DEPENDS ${script} PREFIX "")
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  if(ARG_OUTPUT_DIR)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
  endif()
  set_property(TARGET ${target} PROPERTY KELO_EXPORTS "${ARG_EXPORTS}")
endfunction()

# kelo_write_bundle_info(<bundle folder> NAME <Name> VERSION <v>)
# Writes <bundle folder>/Contents/Info.plist naming the executable <Name>, the identifier
# com.vantor.<Name> and the version.
function(kelo_write_bundle_info bundle_dir)
  cmake_parse_arguments(ARG "" "NAME;VERSION" "" ${ARGN})
  file(GENERATE OUTPUT ${bundle_dir}/Contents/Info.plist CONTENT
"<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">
<plist version=\"1.0\">
<dict>
\t<key>CFBundleExecutable</key>
\t<string>${ARG_NAME}</string>
\t<key>CFBundleIdentifier</key>
\t<string>com.vantor.${ARG_NAME}</string>
\t<key>CFBundleVersion</key>
\t<string>${ARG_VERSION}</string>
</dict>
</plist>
")
endfunction()

# kelo_add_bundle(<target> NAME <Name> [EXTENSION bundle] VERSION <v> EXPORTS ... SOURCES ... LIBS ...
#                 [DESTINATION dir])
# A bundle folder <Name>.<ext>/Contents/ with Info.plist and x86_64-linux/<Name>.so.
# The bundle's path is the target property KELO_BUNDLE_DIR.
function(kelo_add_bundle target)
  cmake_parse_arguments(ARG "" "NAME;EXTENSION;VERSION;DESTINATION" "EXPORTS;SOURCES;LIBS" ${ARGN})
  if(NOT ARG_EXTENSION)
    set(ARG_EXTENSION bundle)
  endif()
  if(NOT ARG_DESTINATION)
    set(ARG_DESTINATION ${CMAKE_BINARY_DIR}/bundles)
  endif()
  set(bundle_dir ${ARG_DESTINATION}/${ARG_NAME}.${ARG_EXTENSION})
  kelo_add_shared_object(${target} EXPORTS ${ARG_EXPORTS} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS}
    OUTPUT_DIR ${bundle_dir}/Contents/x86_64-linux OUTPUT_NAME ${ARG_NAME})
  kelo_write_bundle_info(${bundle_dir} NAME ${ARG_NAME} VERSION ${ARG_VERSION})
  set_property(TARGET ${target} PROPERTY KELO_BUNDLE_DIR ${bundle_dir})
endfunction()

# kelo_check_exports(<shared-object target> [NAME test-name])
# A test that the object's dynamic symbol table defines exactly its declared exports.
function(kelo_check_exports target)
  cmake_parse_arguments(ARG "" "NAME" "" ${ARGN})
  if(NOT ARG_NAME)
    set(ARG_NAME exports.${target})
  endif()
  get_target_property(names ${target} KELO_EXPORTS)
  add_test(NAME ${ARG_NAME}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-exports $<TARGET_FILE:${target}> ${names})
endfunction()

# kelo_add_gtest(<area> <name> SOURCES ... [LIBS ...] [LABELS ...] [ENVIRONMENT ...]
#                [RERUN <run name> <VAR=value>])
# One GoogleTest program; its cases are registered as "<area>.<Suite>.<Case>" so that
# `ctest -R '^<area>\.'` selects an area. Labels: threads (also run under ThreadSanitizer),
# realtime (run under the real-time guard in a build without sanitizers), display, jack.
# RERUN registers the cases a second time, as "<area>.<run name>.<Suite>.<Case>", with the
# variable set: for code that picks another path by the environment.
function(kelo_add_gtest area name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT;RERUN" ${ARGN})
  if("realtime" IN_LIST ARG_LABELS AND KELO_SANITIZE)
    return()
  endif()
  if(KELO_ONLY_LABELS)
    set(selected FALSE)
    foreach(label ${ARG_LABELS})
      if(label IN_LIST KELO_ONLY_LABELS)
        set(selected TRUE)
      endif()
    endforeach()
    if(NOT selected)
      return()
    endif()
  endif()
  set(exe test_${area}_${name})
  add_executable(${exe} ${ARG_SOURCES})
  set_property(GLOBAL APPEND PROPERTY KELO_TEST_PROGRAMS ${exe})
  target_link_libraries(${exe} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(KELO_SANITIZE)
    # Optimising sanitized test bodies cost a third of the build and checks nothing more: the
    # code under test keeps the preset's flags.
    target_compile_options(${exe} PRIVATE -O0)
  elseif(CMAKE_BUILD_TYPE STREQUAL "Release")
    # The code under test keeps -O3; light optimisation of the test bodies (and of the header
    # code they instantiate) saves a quarter of the release build.
    target_compile_options(${exe} PRIVATE -O1)
  endif()
  set(props "")
  if("jack" IN_LIST ARG_LABELS)
    # A private JACK server paces like a sound card: alone on the machine it keeps its cycles.
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  if("display" IN_LIST ARG_LABELS)
    # One X server for the run: tests that click and take screenshots must not overlap.
    list(APPEND props RESOURCE_LOCK x11_screen)
  endif()
  include(GoogleTest)
  gtest_discover_tests(${exe} TEST_PREFIX "${area}." DISCOVERY_MODE PRE_TEST
    TEST_LIST ${exe}_TESTS PROPERTIES ${props})
  set(lists ${exe}_TESTS)
  set(rerun_environment "")
  if(ARG_RERUN)
    list(GET ARG_RERUN 0 rerun_name)
    list(GET ARG_RERUN 1 rerun_environment)
    gtest_discover_tests(${exe} TEST_PREFIX "${area}.${rerun_name}." DISCOVERY_MODE PRE_TEST
      TEST_LIST ${exe}_RERUN_TESTS PROPERTIES ${props})
    list(APPEND lists ${exe}_RERUN_TESTS)
  endif()
  # List-valued properties cannot pass through the discovery's flat property list: a script
  # that CTest reads after the discovered tests sets them on each of them.
  if(ARG_LABELS OR ARG_ENVIRONMENT OR ARG_RERUN)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${exe}_properties.cmake)
    file(WRITE ${script} "")
    foreach(list ${lists})
      set(environment ${ARG_ENVIRONMENT})
      if(list STREQUAL "${exe}_RERUN_TESTS")
        list(APPEND environment ${rerun_environment})
      endif()
      file(APPEND ${script} "if(${list})\n  set_tests_properties(\${${list}} PROPERTIES")
      if(ARG_LABELS)
        file(APPEND ${script} " LABELS \"${ARG_LABELS}\"")
      endif()
      if(environment)
        file(APPEND ${script} " ENVIRONMENT \"${environment}\"")
      endif()
      file(APPEND ${script} ")\nendif()\n")
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
  endif()
endfunction()

# kelo_add_bundle_gtests(<area> BUNDLE <bundle target> [HOST sources...] [ENGINE sources...]
#                        [REALTIME sources...] [LIBS ...])
# The test programs of an engine plug-in bundle that run it the way the engine does:
# <area> bundle (HOST: through PluginInstance and kelo-plugin-run, with the block-split kit
# and the WAV helpers), <area> engine (ENGINE: inside the reference engine, with its fixture)
# and <area> render (REALTIME: under the real-time guard, label realtime). Each program gets
# KELO_BUNDLE (the bundle folder), KELO_BUNDLE_SO, KELO_PLUGIN_RUN and KELO_ENGINE_SO.
function(kelo_add_bundle_gtests area)
  cmake_parse_arguments(ARG "" "BUNDLE" "HOST;ENGINE;REALTIME;LIBS" ${ARGN})
  set(definitions
    KELO_BUNDLE="$<TARGET_PROPERTY:${ARG_BUNDLE},KELO_BUNDLE_DIR>"
    KELO_BUNDLE_SO="$<TARGET_FILE:${ARG_BUNDLE}>"
    KELO_PLUGIN_RUN="$<TARGET_FILE:kelo_plugin_run>"
    KELO_ENGINE_SO="$<TARGET_FILE:kelo_engine>")
  set(programs "")
  if(ARG_HOST)
    pkg_check_modules(KELO_BUNDLE_TEST_SNDFILE REQUIRED IMPORTED_TARGET sndfile)
    kelo_add_gtest(${area} bundle
      SOURCES ${ARG_HOST} ${CMAKE_SOURCE_DIR}/tests/Sampler/sdk/host/WavFiles.cpp
      LIBS ${ARG_LIBS} kelo_test_plugin_kit PkgConfig::KELO_BUNDLE_TEST_SNDFILE ${CMAKE_DL_LIBS})
    list(APPEND programs test_${area}_bundle)
  endif()
  if(ARG_ENGINE)
    kelo_add_gtest(${area} engine
      SOURCES ${ARG_ENGINE} ${CMAKE_SOURCE_DIR}/tests/engine/EngineFixture.cpp
      LIBS ${ARG_LIBS} kelo_test_support vnl ${CMAKE_DL_LIBS})
    list(APPEND programs test_${area}_engine)
  endif()
  if(ARG_REALTIME)
    kelo_add_gtest(${area} render SOURCES ${ARG_REALTIME}
      LIBS ${ARG_LIBS} kelo_rt_guard kelo_test_plugin_kit LABELS realtime)
    list(APPEND programs test_${area}_render)
  endif()
  foreach(program ${programs})
    if(TARGET ${program})
      target_compile_definitions(${program} PRIVATE ${definitions})
      add_dependencies(${program} ${ARG_BUNDLE} kelo_plugin_run kelo_engine)
    endif()
  endforeach()
endfunction()

# The system's Python (where Debian's numpy and scipy live), for the tests that rerun a filter
# design script; such a test program gets KELO_SOURCE_DIR and KELO_PYTHON3 ("" without one).
find_program(KELO_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT KELO_PYTHON3)
  find_program(KELO_PYTHON3 python3)
endif()
function(kelo_give_design_script_python target)
  if(TARGET ${target})  # absent from builds of selected labels only
    target_compile_definitions(${target} PRIVATE
      KELO_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KELO_PYTHON3="$<$<BOOL:${KELO_PYTHON3}>:${KELO_PYTHON3}>")
  endif()
endfunction()

# kelo_plugin_scan_environment(<variable>)
# The environment a host program (a plug-in scanner) needs in front of its command to load this
# build's sanitized plug-ins: the sanitizer runtime first; "" in a build without AddressSanitizer.
function(kelo_plugin_scan_environment variable)
  set(environment "")
  if("address" IN_LIST KELO_SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
      OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(environment "LD_PRELOAD=${asan_runtime} ASAN_OPTIONS=detect_leaks=0")
  endif()
  set(${variable} "${environment}" PARENT_SCOPE)
endfunction()
