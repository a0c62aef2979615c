# The warnings every target of ours is built with, and whether they stop the build.
include_guard(GLOBAL)

# Off by default, so that a newer compiler with new warnings does not stop a user's build; the
# presets turn it on, so that the builds we test are warning-free.
option(KCF_WERROR "Treat compiler warnings as errors" OFF)

# The same flags for g++, mingw-w64 (also GCC) and clang.
add_compile_options(
  # The common faults: unused variables, missing returns, printf formats that do not match their
  # arguments or may cut their output short, misleading indentation, sequence-point errors.
  -Wall
  # What -Wall leaves out: unused parameters, signed/unsigned comparisons, structures initialised
  # with members left out, copies that lose a base class's copy constructor.
  -Wextra
  # A name that hides another in an enclosing scope: the code reads the one the writer did not mean.
  -Wshadow
)
if(KCF_WERROR)
  add_compile_options(-Werror)
endif()
