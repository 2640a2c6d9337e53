# Run by cpack after packing (CPACK_POST_BUILD_SCRIPTS). CPack's own archive
# depends on the packer's umask: its ar members, and the directories it adds
# to the data archive, have the modes of the files it made on the way (a
# umask of 077 gave /opt/varnek 0700, a package no user could run). So every
# .deb is unpacked and packed again by dpkg-deb from a tree whose modes are
# fixed here: directories 0755, files 0755 when CPack marked them executable,
# else 0644 (the package has no file of another mode). dpkg-deb sorts the
# members, makes root their owner, stamps the archive with SOURCE_DATE_EPOCH
# and clamps every member's time to it; xz on one thread compresses alike on
# every machine.
find_program(_dpkg_deb dpkg-deb REQUIRED)
foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT _deb MATCHES "\\.deb$")
    continue()
  endif()
  set(_tree ${_deb}.tree)
  file(REMOVE_RECURSE ${_tree})
  foreach(_command
      "${_dpkg_deb};--raw-extract;${_deb};${_tree}"
      "find;${_tree};-type;d;-exec;chmod;0755;{};+"
      "find;${_tree};-type;f;-perm;/111;-exec;chmod;0755;{};+"
      "find;${_tree};-type;f;!;-perm;/111;-exec;chmod;0644;{};+"
      "${_dpkg_deb};--root-owner-group;--threads-max=1;-Zxz;-z9;--build;${_tree};${_deb}.repacked")
    execute_process(COMMAND ${_command} RESULT_VARIABLE _result OUTPUT_QUIET)
    if(NOT _result EQUAL 0)
      message(FATAL_ERROR "Repacking ${_deb}: ${_command} ended with ${_result}")
    endif()
  endforeach()
  file(RENAME ${_deb}.repacked ${_deb})
  file(REMOVE_RECURSE ${_tree})
endforeach()
