# The 40-hex revision of the source at configure time; 40 zeros outside a checkout.
set(QUILLMARK_BUILD_REVISION "0000000000000000000000000000000000000000")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} rev-parse HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE _revision
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET
    RESULT_VARIABLE _git_result)
  if(_git_result EQUAL 0 AND _revision MATCHES "^[0-9a-f]+$")
    string(LENGTH "${_revision}" _revision_length)
    if(_revision_length EQUAL 40)
      set(QUILLMARK_BUILD_REVISION "${_revision}")
    endif()
  endif()
endif()
message(STATUS "Quillmark build revision: ${QUILLMARK_BUILD_REVISION}")
