# The CA certificates trusted to issue the certificate that signs server
# answers, compiled into quillmark under ":/trust/". Development builds carry
# the development CAs made by tools/devpki; a release build points
# QUILLMARK_TRUST_ANCHORS_DIR at the production set. The files are tried in
# the order of their names.
set(QUILLMARK_TRUST_ANCHORS_DIR ${PROJECT_SOURCE_DIR}/resources/quillmark/trust CACHE PATH
    "Directory of PEM CA certificates trusted to issue the server's signing certificate")

# quillmark_trust_anchors_resource(<out-var>): writes the .qrc and returns its path.
function(quillmark_trust_anchors_resource out_var)
  file(GLOB _anchors CONFIGURE_DEPENDS ${QUILLMARK_TRUST_ANCHORS_DIR}/*.pem)
  if(NOT _anchors)
    message(FATAL_ERROR "No *.pem trust anchors in QUILLMARK_TRUST_ANCHORS_DIR=${QUILLMARK_TRUST_ANCHORS_DIR}")
  endif()
  list(SORT _anchors)
  set(_entries "")
  foreach(_anchor ${_anchors})
    get_filename_component(_name ${_anchor} NAME)
    string(APPEND _entries "    <file alias=\"${_name}\">${_anchor}</file>\n")
  endforeach()
  set(_qrc ${CMAKE_CURRENT_BINARY_DIR}/trustanchors.qrc)
  file(CONFIGURE OUTPUT ${_qrc} CONTENT
       "<RCC>\n  <qresource prefix=\"/trust\">\n${_entries}  </qresource>\n</RCC>\n")
  message(STATUS "Quillmark trust anchors: ${QUILLMARK_TRUST_ANCHORS_DIR}")
  set(${out_var} ${_qrc} PARENT_SCOPE)
endfunction()
