# quillmark_add_translations(<target> <prefix>)
# Compiles resources/translations/<prefix>_*.ts into the staged
# share/translations/ and makes <target> depend on the .qm files.
function(quillmark_add_translations target prefix)
  file(GLOB _ts_files CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/resources/translations/${prefix}_*.ts)
  set_source_files_properties(${_ts_files} PROPERTIES
      OUTPUT_LOCATION ${QUILLMARK_STAGE_TRANSLATIONS})
  # Not "_qm_files": Qt 6's qt_add_translation names its own parameter so and
  # would hand back nothing.
  qt_add_translation(qm_files ${_ts_files})
  add_custom_target(${target}_translations DEPENDS ${qm_files})
  add_dependencies(${target} ${target}_translations)
  install(FILES ${qm_files} DESTINATION share/translations)
endfunction()
