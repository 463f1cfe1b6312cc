# make dist: the application folder as a portable archive.
#   cmake -DBUILD_DIR=build [-DALLOW_DEVELOPMENT_KEY=yes] -P packaging/dist.cmake
if(NOT BUILD_DIR OR NOT EXISTS ${BUILD_DIR}/release-identity.cmake)
  message(FATAL_ERROR "Build first: ${BUILD_DIR} is not a configured build folder")
endif()
get_filename_component(BUILD_DIR ${BUILD_DIR} ABSOLUTE)
include(${BUILD_DIR}/release-identity.cmake)

set(name tarnwick-${TARNWICK_VERSION}-linux-x86_64)
if(TARNWICK_TRUSTS_DEVELOPMENT_KEY)
  if(NOT ALLOW_DEVELOPMENT_KEY)
    message(FATAL_ERROR
      "This build's updater trusts the development key, whose private half is in the repository: anyone could "
      "sign an update for it. Configure with -DTARNWICK_UPDATE_PUBLIC_KEY=<your key's .public.pem> "
      "(tarnwick-release keygen makes one), or, for a trial package only, run: make dist ALLOW_DEVELOPMENT_KEY=yes")
  endif()
  set(name ${name}-DEVELOPMENT-KEY)
endif()

set(stage ${BUILD_DIR}/dist)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage}/Tarnwick
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Installing into ${stage} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${BUILD_DIR}/${name}.tar.gz Tarnwick
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Packing ${name}.tar.gz failed")
endif()
message(STATUS "Archive: ${BUILD_DIR}/${name}.tar.gz")
