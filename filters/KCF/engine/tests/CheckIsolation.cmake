# cmake -P script: fails unless each instruction-set object of the engine defines no external
# symbol but its own row-kernel table. A shared (weak or COMDAT) function compiled there with AVX
# flags could be picked by the linker for baseline callers and crash CPUs without AVX.
# -DNM=<nm> -DOBJECTS=<object files of kcfengine>
set(checked 0)
foreach(object IN LISTS OBJECTS)
  get_filename_component(name "${object}" NAME)
  if(NOT name MATCHES "^Convolve(Sse2|Avx2|Avx512|Avx512Vnni)\\.cpp\\.")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  execute_process(COMMAND "${NM}" -g --defined-only -C "${object}" OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  foreach(line IN LISTS lines)
    # "address type name". Not ours, and no code: the sanitizers' bookkeeping, and the compiler's
    # data reference to the exception personality routine (DW.ref.*).
    if(line STREQUAL "" OR line MATCHES " _*odr_asan" OR line MATCHES " DW\\.ref\\."
       OR line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (Sse2|Avx2|Avx512|Avx512Vnni)Kernels\\(\\)$")
      continue()
    endif()
    message(FATAL_ERROR "${name} shares a symbol with the rest of the program: ${line}")
  endforeach()
endforeach()
if(NOT checked EQUAL 4)
  message(FATAL_ERROR "expected 4 instruction-set objects, found ${checked}")
endif()
