# TEKO32.DLL and its import library. The exports come from teko32.def alone
# (32-bit: decorated stdcall names; 64-bit: the same names undecorated), and
# the C and C++ runtimes are linked in, so the DLL needs system DLLs only.
set(TEKO32_DEF ${CMAKE_CURRENT_SOURCE_DIR}/platform/teko32.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TEKO32_DEF})
file(STRINGS ${TEKO32_DEF} teko32_exports REGEX "^ +_[A-Za-z0-9]+@[0-9]+ = ")

set(teko32_link_def "LIBRARY TEKO32.dll\nEXPORTS\n")
set(teko32_implib_def "LIBRARY TEKO32.dll\nEXPORTS\n")
foreach(line IN LISTS teko32_exports)
  string(REGEX REPLACE "^ +_([A-Za-z0-9]+)@([0-9]+) = .*" "\\1;\\2" parts "${line}")
  list(GET parts 0 name)
  list(GET parts 1 bytes)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # A client compiled against teko32.h refers to _Name@N; the import
    # library maps that reference to the export of the same name.
    string(APPEND teko32_implib_def "    ${name}@${bytes} == _${name}@${bytes}\n")
  else()
    string(APPEND teko32_link_def "    ${name}\n")
  endif()
endforeach()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_sources(teko32 PRIVATE ${TEKO32_DEF})
  set(implib_def ${CMAKE_CURRENT_BINARY_DIR}/teko32-implib.def)
  file(WRITE ${implib_def} "${teko32_implib_def}")
  if(NOT CMAKE_DLLTOOL)
    find_program(CMAKE_DLLTOOL NAMES dlltool REQUIRED)
  endif()
  add_custom_command(TARGET teko32 POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -d ${implib_def} -D TEKO32.dll -l $<TARGET_LINKER_FILE:teko32>
    COMMENT "Import library for the decorated TEKO32.DLL exports" VERBATIM)
else()
  set(link_def ${CMAKE_CURRENT_BINARY_DIR}/teko32-win64.def)
  file(WRITE ${link_def} "${teko32_link_def}")
  target_sources(teko32 PRIVATE ${link_def})
endif()

set_target_properties(teko32 PROPERTIES OUTPUT_NAME TEKO32 PREFIX "" IMPORT_PREFIX "lib")
target_link_libraries(teko32 PRIVATE winmm)
target_link_libraries(teko32_static PUBLIC winmm)
target_link_options(teko32 PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-undefined)
