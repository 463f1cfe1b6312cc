# Checks the release's identity when the build is configured and makes it
# known to the code (generated/release_identity.h) and to `make dist`
# (release-identity.cmake in the build folder).

# The version: only what the update check reads back as exactly that number.
try_run(version_run version_compiled
  ${PROJECT_BINARY_DIR}/release-version-check
  SOURCES ${PROJECT_SOURCE_DIR}/tools/check_release_version.cpp
          ${PROJECT_SOURCE_DIR}/updater/release_version.cpp
  CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${PROJECT_SOURCE_DIR}"
  CXX_STANDARD 20
  COMPILE_OUTPUT_VARIABLE version_compile_output
  RUN_OUTPUT_VARIABLE version_reason
  ARGS "${TARNWICK_VERSION}")
if(NOT version_compiled)
  message(FATAL_ERROR "Cannot build the version check:\n${version_compile_output}")
endif()
if(NOT version_run EQUAL 0)
  message(FATAL_ERROR "TARNWICK_VERSION \"${TARNWICK_VERSION}\" is refused: ${version_reason}")
endif()

# The update site: http or https, ending in the folder the site is laid out in.
# No blanks, quotes or backslashes: it is passed on as one argument.
if(NOT TARNWICK_UPDATE_BASE_URL MATCHES "^https?://[^/ \"'\\\\]+(/[^ \"'\\\\]*)?/liveupdate/tarnwick/$")
  message(FATAL_ERROR "TARNWICK_UPDATE_BASE_URL \"${TARNWICK_UPDATE_BASE_URL}\" is refused: it must be an "
                      "http:// or https:// address ending with \"/liveupdate/tarnwick/\", without blanks or quotes")
endif()

# The key the updater trusts.
if(NOT EXISTS "${TARNWICK_UPDATE_PUBLIC_KEY}" OR IS_DIRECTORY "${TARNWICK_UPDATE_PUBLIC_KEY}")
  message(FATAL_ERROR "TARNWICK_UPDATE_PUBLIC_KEY \"${TARNWICK_UPDATE_PUBLIC_KEY}\" is not a file")
endif()
file(READ "${TARNWICK_UPDATE_PUBLIC_KEY}" public_key)
if(NOT public_key MATCHES "^-----BEGIN PUBLIC KEY-----\n[A-Za-z0-9+/=\n]+-----END PUBLIC KEY-----\n?$")
  message(FATAL_ERROR "TARNWICK_UPDATE_PUBLIC_KEY \"${TARNWICK_UPDATE_PUBLIC_KEY}\" is not a public key in PEM "
                      "form (make one with: tarnwick-release keygen)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TARNWICK_UPDATE_PUBLIC_KEY}")
file(READ "${TARNWICK_DEVELOPMENT_KEY}" development_key)
if(public_key STREQUAL development_key)
  set(TARNWICK_TRUSTS_DEVELOPMENT_KEY ON)
  message(WARNING "This build's updater trusts the development key, whose private half is public. "
                  "Set TARNWICK_UPDATE_PUBLIC_KEY to your own key for a release.")
else()
  set(TARNWICK_TRUSTS_DEVELOPMENT_KEY OFF)
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/release_identity.h.in
               ${PROJECT_BINARY_DIR}/generated/release_identity.h @ONLY)
file(WRITE ${PROJECT_BINARY_DIR}/release-identity.cmake
  "set(TARNWICK_VERSION \"${TARNWICK_VERSION}\")\n"
  "set(TARNWICK_TRUSTS_DEVELOPMENT_KEY ${TARNWICK_TRUSTS_DEVELOPMENT_KEY})\n")
