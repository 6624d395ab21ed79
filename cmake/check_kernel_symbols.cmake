# Fails when an object file built for a wider instruction set defines a weak
# (shared) symbol: the linker keeps one copy of such a symbol for the whole
# library, and it might keep the wide-instruction one.
# Usage: cmake -DNM=<nm> -DOBJECTS=<a;b;...> -P check_kernel_symbols.cmake
set(checked 0)
foreach(object IN LISTS OBJECTS)
  if(NOT object MATCHES "_v[0-9]+\\.cpp\\.(o|obj)$")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  execute_process(COMMAND ${NM} --defined-only ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REGEX MATCHALL "[^\n]* [WVu] [^\n]*" weak "${symbols}")
  # The pointer to the exception personality routine is data, the same in
  # every object.
  list(FILTER weak EXCLUDE REGEX " DW\\.ref\\.__gxx_personality_v0$")
  if(weak)
    string(REPLACE ";" "\n" weak "${weak}")
    message(FATAL_ERROR "${object} defines shared symbols:\n${weak}")
  endif()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no per-level kernel objects among the library's objects")
endif()
message(STATUS "${checked} per-level kernel objects define no shared symbols")
