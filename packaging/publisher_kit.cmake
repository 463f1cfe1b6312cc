# make publisher-kit: the publisher's tools, the news service and the guide as
# one archive, for a machine without our build tree.
#   cmake -DBUILD_DIR=build-dist -DSOURCE_DIR=. -P packaging/publisher_kit.cmake
if(NOT BUILD_DIR OR NOT EXISTS ${BUILD_DIR}/release-identity.cmake)
  message(FATAL_ERROR "Build first: ${BUILD_DIR} is not a configured build folder")
endif()
get_filename_component(BUILD_DIR ${BUILD_DIR} ABSOLUTE)
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)
include(${BUILD_DIR}/release-identity.cmake)

set(folder tarnwick-publisher-kit-${TARNWICK_VERSION})
set(stage ${BUILD_DIR}/publisher-kit)
set(kit ${stage}/${folder})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${kit})
foreach(tool tarnwick-brand tarnwick-release)
  if(NOT EXISTS ${BUILD_DIR}/tools/${tool})
    message(FATAL_ERROR "${BUILD_DIR}/tools/${tool} is missing; build first")
  endif()
  file(COPY ${BUILD_DIR}/tools/${tool} DESTINATION ${kit})
endforeach()
# The service as it is deployed, with its .htaccess files; no database.
file(COPY ${SOURCE_DIR}/publisher/news DESTINATION ${kit})
file(COPY ${SOURCE_DIR}/docs/publishing.md DESTINATION ${kit})
configure_file(${SOURCE_DIR}/packaging/publisher-kit-README.txt ${kit}/README @ONLY)

execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${BUILD_DIR}/${folder}-linux-x86_64.tar.gz ${folder}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Packing the publisher's kit failed")
endif()
message(STATUS "Publisher's kit: ${BUILD_DIR}/${folder}-linux-x86_64.tar.gz")
