# The plugin SDK: the contract headers (usable from C and C++) and the skeleton
# as a static library. A plugin links only this; nothing of the host.
add_library(tarnix_plugin_sdk_headers INTERFACE)
target_include_directories(tarnix_plugin_sdk_headers INTERFACE ${PROJECT_SOURCE_DIR})

file(GLOB TARNIX_PLUGIN_SDK_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(tarnix_plugin_sdk STATIC ${TARNIX_PLUGIN_SDK_SOURCES})
target_link_libraries(tarnix_plugin_sdk PUBLIC tarnix_plugin_sdk_headers)
# Module-wide names (the current skeleton) must stay inside each plugin.
set_target_properties(tarnix_plugin_sdk PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

set(TARNIX_PLUGIN_VERSION_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/plugin.map CACHE INTERNAL "")

# tarnix_add_plugin(<target> SOURCES ... [OUTPUT_NAME name] [OUTPUT_DIRECTORY dir]
#                   [DEFINITIONS ...] [PLAIN_C])
# A plugin library "<name>.so" that exports only GetPluginInfo, Initialize and
# Terminate and resolves every symbol at link time. PLAIN_C plugins get the
# headers only; C++ plugins link the skeleton.
function(tarnix_add_plugin target)
  cmake_parse_arguments(ARG "PLAIN_C" "OUTPUT_NAME;OUTPUT_DIRECTORY" "SOURCES;DEFINITIONS" ${ARGN})
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${target})
  endif()
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${TARNIX_PLUGIN_DIR})
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${ARG_OUTPUT_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    C_STANDARD 11 C_STANDARD_REQUIRED ON
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(ARG_DEFINITIONS)
    target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
  endif()
  if(ARG_PLAIN_C)
    target_link_libraries(${target} PRIVATE tarnix_plugin_sdk_headers)
  else()
    target_link_libraries(${target} PRIVATE tarnix_plugin_sdk)
  endif()
  target_link_options(${target} PRIVATE
    "LINKER:--version-script=${TARNIX_PLUGIN_VERSION_SCRIPT}"
    "LINKER:--no-undefined")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${TARNIX_PLUGIN_VERSION_SCRIPT})
endfunction()
