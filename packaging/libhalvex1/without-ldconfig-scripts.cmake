# Run by CPack after the packages are made (CPACK_POST_BUILD_SCRIPTS): the library's package is
# packed again without the postinst and postrm that CPack adds to call ldconfig, so that dpkg's
# ldconfig trigger (the package's "triggers" file) alone refreshes the linker cache. Nothing else
# of the package changes: its files, modes, control file, md5sums, shlibs and trigger stay.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${deb}" NAME)
  if(NOT name MATCHES "^libhalvex1_.*\\.deb$")
    continue()
  endif()
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/libhalvex1-repack")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${DPKG_DEB} --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group --build "${tree}" "${deb}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
