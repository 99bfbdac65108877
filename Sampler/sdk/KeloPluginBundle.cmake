# kelo_add_engine_plugin_bundle(<target> NAME <Name> TABLE <source> [SOURCES ...] [LIBS ...]
#                               [VERSION v] [DESTINATION dir] [CHECK_NAME test-name]
#                               [STARTS_THREADS])
# An engine plug-in bundle <Name>.bundle: the source defining the bundle's table
# (vantor::KELOPluginSDK::bundleTable), its plug-in classes and the whole SDK runtime, exporting
# exactly the four table functions, the dispatcher, the process entry and the three allocation
# functions; a test (CHECK_NAME, default exports.<target>) checks that export list.
# STARTS_THREADS: a plug-in's own threads may still run bundle code when its last instance is
# gone, so the bundle is linked -z nodelete and stays mapped after the engine's dlclose.
function(kelo_add_engine_plugin_bundle target)
  cmake_parse_arguments(ARG "STARTS_THREADS" "NAME;TABLE;VERSION;DESTINATION;CHECK_NAME" "SOURCES;LIBS" ${ARGN})
  set(exports
    getNumKeloPlugins fillKeloPluginInfo newInstance deleteInstance
    plugin_dispatch1 plugin_process
    "vantor::defaultAlloc(unsigned long)" "vantor::defaultFree(void*)"
    "vantor::defaultRealloc(void*, unsigned long)")
  if(NOT ARG_VERSION)
    set(ARG_VERSION ${PROJECT_VERSION})
  endif()
  set(destination_args "")
  if(ARG_DESTINATION)
    set(destination_args DESTINATION ${ARG_DESTINATION})
  endif()
  # The runtime is linked whole: its exports are named only by the version script, which
  # would not pull them out of the archive.
  kelo_add_bundle(${target} NAME ${ARG_NAME} VERSION ${ARG_VERSION} ${destination_args}
    EXPORTS ${exports}
    SOURCES ${ARG_TABLE} ${ARG_SOURCES}
    LIBS "$<LINK_LIBRARY:WHOLE_ARCHIVE,kelo_plugin_sdk>" ${ARG_LIBS})
  if(ARG_STARTS_THREADS)
    target_link_options(${target} PRIVATE -Wl,-z,nodelete)
  endif()
  if(ARG_CHECK_NAME)
    kelo_check_exports(${target} NAME ${ARG_CHECK_NAME})
  else()
    kelo_check_exports(${target})
  endif()
endfunction()
