# Policy for the 32-bit Windows build: what every target gets, and why.

# Target Windows 2000's API, the oldest the host runs on, so that the headers declare nothing newer
# (platform/win2000-imports.tsv checks what the binaries import, libraries included).
add_compile_definitions(_WIN32_WINNT=0x0500 WINVER=0x0500)
# ANSI text: the filter and the installer work in single-byte code-page text.
add_compile_definitions(_MBCS)
# Trim windows.h; nothing here needs the rarely used parts.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
# Every x86 CPU from the Pentium III: i686 code with x87 maths, no SSE2 (a Pentium III and an
# Athlon XP lack it). Only the engine's dispatched files add SSE2 and later (engine/CMakeLists.txt).
add_compile_options(-march=i686 -mtune=generic -mfpmath=387)
# 32-bit Windows keeps the stack 4-byte aligned; realign where SSE spills need 16 bytes.
add_compile_options(-mstackrealign)
# Link the C and C++ runtimes statically: a deliverable imports only system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)
# A 32-bit build, or nothing here holds: the host is a 32-bit program.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  message(FATAL_ERROR "the Windows build must be 32-bit (i686), not ${CMAKE_SIZEOF_VOID_P}-byte pointers")
endif()
# Fail at link time rather than at load time on a missing symbol.
add_link_options(-Wl,--no-undefined)
# DEP and ASLR flags for the loader.
add_link_options(-Wl,--nxcompat -Wl,--dynamicbase)

# Windows programs run under Wine, in a prefix of the build tree's own (made on first use).
set(KCF_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
