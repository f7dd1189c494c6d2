# The host SDK the plugin is built against: a folder laid out like the host's
# installed SDK (%APPDATA%\bakkesmod\bakkesmod\bakkesmodsdk):
#
#   include/        the headers, at the paths the plugin includes
#   lib/            pluginsdk.lib, the import library of the host's pluginsdk.dll
#                   (libpluginsdk.so on Linux)
#   anywhere below  the host's Dear ImGui sources (imgui.cpp and its fellows),
#                   unpacked from the SDK's imgui_bm.zip
#
# Gives the targets bakkesmod_sdk (headers and import library) and
# bakkesmod_imgui (the host's Dear ImGui, compiled into the plugin).

if(TALLYLOOM_SDK_STANDIN)
  set(tallyloom_staged_sdk ${CMAKE_BINARY_DIR}/bakkesmodsdk)
  set(sdk_default ${tallyloom_staged_sdk})
elseif(WIN32)
  set(sdk_default "$ENV{APPDATA}/bakkesmod/bakkesmod/bakkesmodsdk")
else()
  set(sdk_default "")
endif()
set(BAKKESMOD_SDK_DIR ${sdk_default} CACHE PATH
    "Host SDK folder with include/, lib/ and the host's Dear ImGui sources")
file(TO_CMAKE_PATH "${BAKKESMOD_SDK_DIR}" sdk)

if(TALLYLOOM_SDK_STANDIN AND sdk STREQUAL tallyloom_staged_sdk)
  include(cmake/StandInSdk.cmake)
  tallyloom_stage_standin_sdk(${sdk})
  set(tallyloom_sdk_is_standin TRUE)
endif()

if(NOT EXISTS "${sdk}/include/bakkesmod/plugin/bakkesmodplugin.h")
  message(FATAL_ERROR "BAKKESMOD_SDK_DIR=\"${sdk}\" holds no host SDK "
                      "(include/bakkesmod/plugin/bakkesmodplugin.h is missing)")
endif()

if(WIN32)
  set(sdk_library ${sdk}/lib/pluginsdk.lib)
else()
  set(sdk_library ${sdk}/lib/libpluginsdk.so)
endif()
if(NOT tallyloom_sdk_is_standin AND NOT EXISTS ${sdk_library})
  message(FATAL_ERROR "BAKKESMOD_SDK_DIR=\"${sdk}\": ${sdk_library} is missing")
endif()

add_library(bakkesmod_sdk INTERFACE)
# The host's headers are the host's: their warnings are not ours.
target_include_directories(bakkesmod_sdk SYSTEM INTERFACE ${sdk}/include)
if(tallyloom_sdk_is_standin)
  # The same library, named as a target so that it is built first (on Windows
  # its import library is the folder's lib/pluginsdk.lib).
  target_link_libraries(bakkesmod_sdk INTERFACE pluginsdk)
else()
  target_link_libraries(bakkesmod_sdk INTERFACE ${sdk_library})
endif()

# --- The host's Dear ImGui ----------------------------------------------------------
# The plugin draws into the host's Dear ImGui context, so it must compile the
# very release the host draws with (1.75 in the real host, 1.86 in the
# stand-in's); only its core is needed.
file(GLOB_RECURSE imgui_found FOLLOW_SYMLINKS "${sdk}/imgui.cpp")
# The shallowest one: a source tree may carry further copies in its examples.
set(imgui_cpp "")
foreach(candidate IN LISTS imgui_found)
  string(LENGTH "${candidate}" length)
  string(LENGTH "${imgui_cpp}" best)
  if(NOT imgui_cpp OR length LESS best)
    set(imgui_cpp ${candidate})
  endif()
endforeach()
if(imgui_cpp)
  get_filename_component(imgui_dir ${imgui_cpp} DIRECTORY)
  set(imgui_sources ${imgui_dir}/imgui.cpp ${imgui_dir}/imgui_draw.cpp
      ${imgui_dir}/imgui_widgets.cpp)
  if(EXISTS ${imgui_dir}/imgui_tables.cpp)  # from 1.80 on
    list(APPEND imgui_sources ${imgui_dir}/imgui_tables.cpp)
  endif()
  add_library(bakkesmod_imgui STATIC ${imgui_sources})
  target_include_directories(bakkesmod_imgui SYSTEM PUBLIC ${imgui_dir})
  if(MSVC)
    target_compile_options(bakkesmod_imgui PRIVATE /W0)
  else()
    target_compile_options(bakkesmod_imgui PRIVATE -w)
  endif()
  message(STATUS "Host's Dear ImGui: ${imgui_dir}")
elseif(NOT WIN32 AND TARGET imgui_static)
  # Linux: the stand-in's host links Debian's 1.86, which ships no sources.
  add_library(bakkesmod_imgui INTERFACE)
  target_link_libraries(bakkesmod_imgui INTERFACE imgui_static)
else()
  message(FATAL_ERROR "BAKKESMOD_SDK_DIR=\"${sdk}\" holds no Dear ImGui sources: "
                      "unpack the SDK's imgui_bm.zip into it")
endif()
