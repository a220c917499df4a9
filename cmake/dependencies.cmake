# The third-party libraries, all header-only, so that the Windows build carries no foreign
# binaries: xxHash (inlined), nlohmann json. A cross build sees Debian's headers through a
# folder of links to exactly these, never through the whole of /usr/include.
find_package(Threads REQUIRED)

add_library(trv_xxhash INTERFACE)
target_compile_definitions(trv_xxhash INTERFACE XXH_INLINE_ALL)
add_library(trv_json INTERFACE)

if(CMAKE_CROSSCOMPILING)
  set(trv_debian_headers ${CMAKE_BINARY_DIR}/debian-headers)
  file(MAKE_DIRECTORY ${trv_debian_headers})
  foreach(entry xxhash.h nlohmann boost)
    if(NOT EXISTS /usr/include/${entry})
      message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/install-deps")
    endif()
    file(CREATE_LINK /usr/include/${entry} ${trv_debian_headers}/${entry} SYMBOLIC)
  endforeach()
  target_include_directories(trv_xxhash SYSTEM INTERFACE ${trv_debian_headers})
  target_include_directories(trv_json SYSTEM INTERFACE ${trv_debian_headers})
else()
  find_path(TRV_XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
  target_include_directories(trv_xxhash SYSTEM INTERFACE ${TRV_XXHASH_INCLUDE_DIR})
  find_package(nlohmann_json 3.11 REQUIRED)
  target_link_libraries(trv_json INTERFACE nlohmann_json::nlohmann_json)
endif()
