# Warnings, sanitizers and helpers shared by every target.

add_compile_options(-Wall -Wextra -Wno-missing-field-initializers)

if(MIVORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # GCC's flow analysis under the sanitizers reports uninitialised members
  # inside libstdc++'s <regex> and <functional> that are not there.
  add_compile_options(-Wno-maybe-uninitialized)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MIVORA_BUILD_FUZZERS)
  # Everything is instrumented for coverage; only the fuzz targets link the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# mivora_library(NAME ALIAS SOURCES...): a static core library with its folder on
# the include path as "folder/Header.h" from the source root.
function(mivora_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  add_library(mivora::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()
