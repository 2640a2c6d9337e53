# Read by cpack before it packs. Its DEB generator stamps every member and
# the archive itself with SOURCE_DATE_EPOCH when that is set, else with the
# time of packing: here it is the commit's time the build was configured
# with, whatever the environment cpack runs in.
if(NOT CPACK_QUILLMARK_SOURCE_DATE_EPOCH STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_QUILLMARK_SOURCE_DATE_EPOCH}")
endif()
