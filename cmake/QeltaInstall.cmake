# qelta_install_program(TARGET COMPONENT)
#
# Installs a program into bin/ as part of COMPONENT (one Debian package each). A program that
# links libhalvex finds it through the library folder beside bin/ when that folder is not one the
# system searches anyway (an install under /usr needs no search path, and Debian forbids one).
function(qelta_install_program target component)
  list(FIND CMAKE_C_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" system_dir)
  if(system_dir EQUAL -1)
    file(RELATIVE_PATH to_lib "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_lib}")
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
endfunction()
