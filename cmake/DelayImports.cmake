# System DLLs that are not KnownDLLs are delay-loaded: the first of them is
# loaded after the program's entry has limited the DLL search to the system
# folder, so a DLL of that name beside the program is never loaded. Each
# delay-import library has the functions of MinGW's import library and its
# name, and its folder is searched first: every -l<dll> of the target's
# libraries takes it.
function(sv_delay_imports target)
  set(delay_dir ${CMAKE_CURRENT_BINARY_DIR}/delayimp)
  set(delay_libs)
  foreach(dll IN LISTS ARGN)
    find_library(SV_IMPLIB_${dll} ${dll} REQUIRED)
    set(lib ${delay_dir}/lib${dll}.a)
    add_custom_command(OUTPUT ${lib}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${delay_dir}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
        -DIMPLIB=${SV_IMPLIB_${dll}} -DDLL=${dll}.dll -DOUT=${lib}
        -P ${CMAKE_SOURCE_DIR}/app/DelayImportLib.cmake
      DEPENDS ${SV_IMPLIB_${dll}} ${CMAKE_SOURCE_DIR}/app/DelayImportLib.cmake VERBATIM)
    list(APPEND delay_libs ${lib})
  endforeach()
  add_custom_target(${target}DelayImports DEPENDS ${delay_libs})
  add_dependencies(${target} ${target}DelayImports)
  target_link_directories(${target} BEFORE PRIVATE ${delay_dir})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${delay_libs})
endfunction()
