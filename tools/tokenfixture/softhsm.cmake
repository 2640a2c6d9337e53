# Locates the SoftHSM2 PKCS#11 module (Debian's package puts it under
# /usr/lib/softhsm) into the cache variable SOFTHSM2_MODULE.
find_file(SOFTHSM2_MODULE libsofthsm2.so
    PATHS /usr/lib/softhsm /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/softhsm
    NO_DEFAULT_PATH)
if(NOT SOFTHSM2_MODULE)
  set(SOFTHSM2_MODULE /usr/lib/softhsm/libsofthsm2.so CACHE FILEPATH "SoftHSM2 PKCS#11 module" FORCE)
endif()
