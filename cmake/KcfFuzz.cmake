# One helper that adds a libFuzzer target with its seed corpus; `fuzzers` builds them all, and
# fuzzers.list in the build tree names each with its corpus for scripts/fuzz.sh.
include_guard(GLOBAL)
add_custom_target(fuzzers)

# kcf_add_fuzzer(NAME SOURCES... LIBS libs... CORPUS dir)
function(kcf_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON EXCLUDE_FROM_ALL ON)
  add_dependencies(fuzzers ${name})
  file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.list "${name} ${F_CORPUS}\n")
endfunction()

file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.list "")
