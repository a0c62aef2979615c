# Policy for the 32-bit Windows build: what every target gets, and why.

# Target Windows XP's API, the oldest the host runs on, so that nothing newer slips in.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
# ANSI text: the filter and the installer work in single-byte code-page text.
add_compile_definitions(_MBCS)
# Trim windows.h; nothing here needs the rarely used parts.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
# SSE2 is the floor for the engine's fast paths; keep x87 math out of the hot loops.
add_compile_options(-msse2 -mfpmath=sse)
# 32-bit Windows keeps the stack 4-byte aligned; realign where SSE spills need 16 bytes.
add_compile_options(-mstackrealign)
# Link the C and C++ runtimes and winpthread statically: a deliverable imports only system DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)
# Fail at link time rather than at load time on a missing symbol.
add_link_options(-Wl,--no-undefined)
# DEP and ASLR flags for the loader.
add_link_options(-Wl,--nxcompat -Wl,--dynamicbase)

# Windows programs run under Wine, in a prefix of the build tree's own (made on first use).
set(KCF_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
