# Two builds of one commit give the same bytes, wherever the checkout lies,
# whenever it was made and whatever the builder's umask: that is what lets
# anyone check a published package against this source.

# Every time stamp that reaches the package is the last commit's (or the
# SOURCE_DATE_EPOCH the builder gives); packaging/CPackProjectConfig.cmake
# hands it to CPack.
set(QUILLMARK_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(QUILLMARK_SOURCE_DATE_EPOCH STREQUAL "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(
        COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE QUILLMARK_SOURCE_DATE_EPOCH
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
  endif()
endif()
if(NOT QUILLMARK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(WARNING "Neither SOURCE_DATE_EPOCH nor a git checkout: the package carries the time it is packed")
  set(QUILLMARK_SOURCE_DATE_EPOCH "")
endif()
message(STATUS "Quillmark source date epoch: ${QUILLMARK_SOURCE_DATE_EPOCH}")

# Compilers write file names into __FILE__ (the log's source locations) and
# into the debug information, whose hash becomes the build id that survives
# stripping. Every name is made relative to the source or the build tree:
# absolute ones as the compiler sees them without ccache, and those that
# ccache's CCACHE_BASEDIR already made relative to the build directory. The
# compiler tries the maps from the last to the first, so the build tree,
# which may lie inside the source tree, comes after it.
file(RELATIVE_PATH _source_from_build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
string(REGEX REPLACE "/$" "" _source_from_build "${_source_from_build}")
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
if(NOT _source_from_build STREQUAL "")
  add_compile_options(-ffile-prefix-map=${_source_from_build}/=)
endif()
add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

# rcc's default format records each resource file's modification time, which
# is the time of the checkout; the first format has none.
set(CMAKE_AUTORCC_OPTIONS --format-version 1)

# Directories that installation creates get these permissions rather than
# whatever the builder's umask leaves (files and programs already get fixed
# ones from install()).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
