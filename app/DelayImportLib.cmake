# Makes a delay-import library with every function of a MinGW import library:
#   cmake -DNM=... -DDLLTOOL=... -DIMPLIB=libx.a -DDLL=x.dll -DOUT=dir/libx.a -P DelayImportLib.cmake
# Functions only (each has a thunk, "T"): data cannot be delay-loaded.
execute_process(COMMAND ${NM} --defined-only ${IMPLIB} OUTPUT_VARIABLE symbols
  COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\r\n]+" thunks "${symbols}")
set(def "LIBRARY ${DLL}\nEXPORTS\n")
foreach(thunk IN LISTS thunks)
  string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${thunk}")
  string(APPEND def "${name}\n")
endforeach()
if(NOT thunks)
  message(FATAL_ERROR "no functions in ${IMPLIB}")
endif()
get_filename_component(dir ${OUT} DIRECTORY)
file(WRITE ${OUT}.def "${def}")
execute_process(COMMAND ${DLLTOOL} --input-def ${OUT}.def --output-delaylib ${OUT}
  WORKING_DIRECTORY ${dir} COMMAND_ERROR_IS_FATAL ANY)
