# Third-party libraries. Linux links Debian's builds. The MinGW cross-build
# compiles the same releases from source: {fmt} header-only from Debian's
# headers, Dear ImGui 1.86 from Debian's source package (fetched into .deps by
# tools/fetch-imgui-source.sh). A Visual C++ build always compiles {fmt} from
# its sources, so that it takes the plugin's static runtime.

find_package(Threads REQUIRED)

# --- {fmt} ------------------------------------------------------------------------
if(MSVC)
  # Fetched, never a package: a packaged {fmt} (vcpkg's x64-windows) is built
  # with the DLL runtime (/MD), which would break the link or bring a runtime
  # import into the DLL. Built here, it takes CMAKE_MSVC_RUNTIME_LIBRARY.
  include(FetchContent)
  FetchContent_Declare(fmt GIT_REPOSITORY https://github.com/fmtlib/fmt.git
                       GIT_TAG a33701196adfad74917046096bf5a2aa0ab0bb50)  # release 9.1.0
  FetchContent_MakeAvailable(fmt)
elseif(NOT WIN32)
  find_package(fmt REQUIRED)
else()
  # Only the headers, seen through a folder of their own so that the
  # cross-compiler never sees the rest of /usr/include.
  set(TALLYLOOM_FMT_HEADERS /usr/include/fmt CACHE PATH "Debian's {fmt} headers")
  set(fmt_root ${CMAKE_BINARY_DIR}/third_party/fmt-include)
  file(MAKE_DIRECTORY ${fmt_root})
  file(CREATE_LINK ${TALLYLOOM_FMT_HEADERS} ${fmt_root}/fmt SYMBOLIC)
  add_library(fmt_header_only INTERFACE)
  target_include_directories(fmt_header_only SYSTEM INTERFACE ${fmt_root})
  target_compile_definitions(fmt_header_only INTERFACE FMT_HEADER_ONLY)
  add_library(fmt::fmt ALIAS fmt_header_only)
endif()

# --- Dear ImGui 1.86 for the simulated host ---------------------------------------
# The plugin compiles the host's Dear ImGui from the SDK folder
# (cmake/BakkesModSdk.cmake); this is the simulated host's own copy.
if(NOT TALLYLOOM_SDK_STANDIN)
  return()
endif()

if(NOT WIN32)
  # Debian's: headers in /usr/include/imgui, a static libimgui.a.
  find_path(IMGUI_INCLUDE_DIR imgui.h PATH_SUFFIXES imgui REQUIRED)
  find_library(IMGUI_LIBRARY NAMES libimgui.a imgui REQUIRED)
  find_path(STB_INCLUDE_DIR stb_image_write.h PATH_SUFFIXES stb REQUIRED)
  find_library(STB_LIBRARY NAMES stb REQUIRED)
  add_library(imgui_static INTERFACE)
  target_include_directories(imgui_static SYSTEM INTERFACE ${IMGUI_INCLUDE_DIR} ${STB_INCLUDE_DIR})
  target_link_libraries(imgui_static INTERFACE ${IMGUI_LIBRARY} ${STB_LIBRARY})
  return()
endif()

set(TALLYLOOM_IMGUI_SOURCE ${PROJECT_SOURCE_DIR}/.deps/imgui-1.86 CACHE PATH
    "Dear ImGui 1.86 source (tools/fetch-imgui-source.sh)")
if(NOT EXISTS ${TALLYLOOM_IMGUI_SOURCE}/imgui.cpp)
  message(FATAL_ERROR "Dear ImGui source missing: run tools/fetch-imgui-source.sh "
                      "(./tallyloom build windows does)")
endif()
add_library(imgui_windows STATIC
  ${TALLYLOOM_IMGUI_SOURCE}/imgui.cpp
  ${TALLYLOOM_IMGUI_SOURCE}/imgui_draw.cpp
  ${TALLYLOOM_IMGUI_SOURCE}/imgui_tables.cpp
  ${TALLYLOOM_IMGUI_SOURCE}/imgui_widgets.cpp
)
target_include_directories(imgui_windows SYSTEM PUBLIC ${TALLYLOOM_IMGUI_SOURCE})
target_compile_options(imgui_windows PRIVATE -w)
add_library(imgui_static ALIAS imgui_windows)
