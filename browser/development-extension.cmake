# cmake -DSOURCE=<release extension> -DTARGET=<directory> -DMANIFEST=<manifest file name>
#       -DKEY=<base64 public key> -DGECKO_ID=<Firefox id> -P ...
# Assembles the development variant of the extension: the release files,
# with the manifest named MANIFEST as manifest.json and the local origins of
# the demo server and the browser tests added to every content script. The
# release extension never serves a local page: any program on the user's
# machine could serve one and drive the signing host. So the variant is
# another extension, with a key and ids of its own that only the staged host
# registrations admit.
set(_local_origins "http://127.0.0.1/*" "http://localhost/*")

file(REMOVE_RECURSE ${TARGET})
file(COPY ${SOURCE}/ DESTINATION ${TARGET})
file(REMOVE ${TARGET}/manifest.json ${TARGET}/manifest.firefox.json)
file(READ ${SOURCE}/${MANIFEST} _manifest)
string(JSON _scripts LENGTH "${_manifest}" content_scripts)
math(EXPR _last_script "${_scripts} - 1")
foreach(_script RANGE ${_last_script})
  foreach(_origin ${_local_origins})
    string(JSON _count LENGTH "${_manifest}" content_scripts ${_script} matches)
    string(JSON _manifest SET "${_manifest}" content_scripts ${_script} matches ${_count} "\"${_origin}\"")
  endforeach()
endforeach()
string(JSON _has_key ERROR_VARIABLE _no_key GET "${_manifest}" key)
if(_has_key)
  string(JSON _manifest SET "${_manifest}" key "\"${KEY}\"")
endif()
string(JSON _has_gecko ERROR_VARIABLE _no_gecko GET "${_manifest}" browser_specific_settings gecko id)
if(_has_gecko)
  string(JSON _manifest SET "${_manifest}" browser_specific_settings gecko id "\"${GECKO_ID}\"")
endif()
file(WRITE ${TARGET}/manifest.json "${_manifest}\n")
