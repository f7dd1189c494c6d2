# Warnings, sanitizers and linking, each for the compilers it belongs to.

set(TALLYLOOM_SANITIZER "" CACHE STRING "Sanitizer build: address (ASan + UBSan) or thread")

if(MSVC)
  # The static C and C++ runtime (/MT), as the host's plugins are built, for
  # every target, {fmt} included, so this is set before any of them is made.
  # With the DLL runtime the plugin would use whichever msvcp140.dll the game
  # process loaded first; against one older than 14.40, Visual C++ 17.10's
  # constexpr std::mutex constructor crashes in _Mtx_lock on the first lock.
  # Never the Debug runtime: see the bakkesmod preset.
  set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)
  # /utf-8: the sources and {fmt} are UTF-8. The SDK's headers are seen as
  # external, so their warnings are the host's, not ours.
  add_compile_options(/W4 /permissive- /utf-8 /external:W0)
  add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
  if(TALLYLOOM_SANITIZER)
    message(FATAL_ERROR "TALLYLOOM_SANITIZER is for GCC and Clang builds")
  endif()
  # An optimised Release with a program database, as the host's plugin template
  # builds it: a player's crash report can only be read with the PDB of that
  # very DLL. /DEBUG turns /OPT:REF and /OPT:ICF off, so they are asked for again.
  set(CMAKE_MSVC_DEBUG_INFORMATION_FORMAT ProgramDatabase)
  set(TALLYLOOM_PRIVATE_LINK_OPTIONS /DEBUG /OPT:REF /OPT:ICF)
  return()
endif()

add_compile_options(-Wall -Wextra -Wpedantic)

if(TALLYLOOM_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TALLYLOOM_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TALLYLOOM_SANITIZER)
  message(FATAL_ERROR "TALLYLOOM_SANITIZER: address or thread, not ${TALLYLOOM_SANITIZER}")
endif()

if(WIN32)
  # MinGW: no runtime DLL next to the programs.
  add_link_options(-static)
  set(TALLYLOOM_PRIVATE_LINK_OPTIONS "")
else()
  # A library's own copies of static libraries must not interpose the host's.
  set(TALLYLOOM_PRIVATE_LINK_OPTIONS -Wl,--exclude-libs,ALL -Wl,--no-undefined)
endif()
