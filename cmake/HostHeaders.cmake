# The header-only libraries (JSON, command-line parsing) for the Windows cross build. Debian ships
# them for the host only, in /usr/include; a folder of links to just these two keeps the host's
# other headers out of the cross compiler's way. Defines the same imported targets as the
# packages' own CMake files, so that the modules use them alike in both builds.
set(pagerake_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${pagerake_host_headers})
foreach(entry "nlohmann;nlohmann/json.hpp;nlohmann_json::nlohmann_json;nlohmann-json3-dev"
              "CLI;CLI/CLI.hpp;CLI11::CLI11;libcli11-dev")
  list(GET entry 0 folder)
  list(GET entry 1 header)
  list(GET entry 2 target)
  list(GET entry 3 package)
  if(NOT EXISTS /usr/include/${header})
    message(FATAL_ERROR "/usr/include/${header} not found: install ${package} (scripts/setup)")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${pagerake_host_headers}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED)
  # Imported include folders are system folders: their warnings are not ours.
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${pagerake_host_headers})
endforeach()
