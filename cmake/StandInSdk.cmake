# Stages the project's stand-in for the host SDK as a folder laid out like the
# host's installed SDK, so that the plugin is built the same way against either:
#
#   include/   the SDK's headers (sdk/include)
#   lib/       pluginsdk.lib, the import library of pluginsdk.dll (Windows), or
#              libpluginsdk.so
#   imgui/     the host's Dear ImGui sources; the stand-in's host draws with
#              Dear ImGui 1.86, whose sources the MinGW build has in .deps. The
#              Linux build has none: the plugin links Debian's 1.86 there.
#
# The folder holds links into the source and build trees, so it is always
# current. Expects the target pluginsdk.

function(tallyloom_stage_standin_sdk folder)
  file(MAKE_DIRECTORY ${folder}/lib)
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/sdk/include ${folder}/include SYMBOLIC)
  if(WIN32)
    # The import library lands in the folder itself, named as the host's is.
    set_target_properties(pluginsdk PROPERTIES ARCHIVE_OUTPUT_DIRECTORY ${folder}/lib
                          IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")
    file(CREATE_LINK ${TALLYLOOM_IMGUI_SOURCE} ${folder}/imgui SYMBOLIC)
  else()
    file(CREATE_LINK ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/libpluginsdk.so ${folder}/lib/libpluginsdk.so
         SYMBOLIC)
  endif()
endfunction()
