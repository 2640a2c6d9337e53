# quillmark_add_program(<name> <library> <main source>)
# A program is a thin main() over a static library that holds all its code,
# staged into <build>/stage/bin and installed into bin/.
function(quillmark_add_program name library main_source)
  add_executable(${name} ${main_source})
  target_link_libraries(${name} PRIVATE ${library})
  set_target_properties(${name} PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY ${QUILLMARK_STAGE_BIN})
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()
