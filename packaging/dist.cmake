# make dist: the application folder as a portable archive.
#   cmake -DBUILD_DIR=build [-DALLOW_DEVELOPMENT_KEY=yes] [-DBRAND_DIR=DIR] -P packaging/dist.cmake
# With BRAND_DIR, the publisher's files of DIR go into the folder, and the
# folder, the archive, the desktop entry's name, its icon and the users'
# README are named after the brand's ApplicationName.
if(NOT BUILD_DIR OR NOT EXISTS ${BUILD_DIR}/release-identity.cmake)
  message(FATAL_ERROR "Build first: ${BUILD_DIR} is not a configured build folder")
endif()
get_filename_component(BUILD_DIR ${BUILD_DIR} ABSOLUTE)
include(${BUILD_DIR}/release-identity.cmake)

set(folder Tarnwick)
set(base tarnwick)
if(BRAND_DIR)
  get_filename_component(BRAND_DIR ${BRAND_DIR} ABSOLUTE)
  if(NOT IS_DIRECTORY ${BRAND_DIR} OR NOT EXISTS ${BRAND_DIR}/dbsettings.dat)
    message(FATAL_ERROR "BRAND=${BRAND_DIR} must be a folder holding your dbsettings.dat")
  endif()
  # Only the publisher's files: what else lies there (a book, window settings,
  # the settings' plain text) is refused, never shipped by mistake. The same
  # names tarnwick-release make --brand takes.
  file(GLOB brand_entries LIST_DIRECTORIES true RELATIVE ${BRAND_DIR} ${BRAND_DIR}/* ${BRAND_DIR}/.*)
  set(brand_files "")
  set(refused "")
  foreach(entry IN LISTS brand_entries)
    if(entry MATCHES "^(dbsettings\\.dat|mainskin\\.dat|main\\.ico|banner[1-9][0-9]?[0-9]?\\.dat)$"
       AND NOT IS_DIRECTORY ${BRAND_DIR}/${entry} AND NOT IS_SYMLINK ${BRAND_DIR}/${entry})
      list(APPEND brand_files ${entry})
    else()
      list(APPEND refused "${entry}")
    endif()
  endforeach()
  if(refused)
    list(JOIN refused ", " refused)
    message(FATAL_ERROR "${BRAND_DIR} holds ${refused}, which is not one of the publisher's files "
                        "(dbsettings.dat, mainskin.dat, main.ico, bannerN.dat); keep only those in it")
  endif()
  # The name as the program reads it, through the program's own code.
  execute_process(COMMAND ${BUILD_DIR}/tools/tarnwick-brand name ${BRAND_DIR}/dbsettings.dat
                  OUTPUT_VARIABLE brand_name OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Cannot read the brand's name from ${BRAND_DIR}/dbsettings.dat")
  endif()
  string(REGEX REPLACE "[^A-Za-z0-9._-]+" "-" folder "${brand_name}")
  string(REGEX REPLACE "^[-.]+|-+$" "" folder "${folder}")
  if(folder STREQUAL "")
    message(FATAL_ERROR "The brand's name \"${brand_name}\" leaves nothing to name a folder with; "
                        "give ApplicationName some letters or digits")
  endif()
  string(TOLOWER ${folder} base)
endif()

set(name ${base}-${TARNWICK_VERSION}-linux-x86_64)
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
set(app ${stage}/${folder})
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${app}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Installing into ${stage} failed")
endif()

if(BRAND_DIR)
  foreach(f IN LISTS brand_files)
    file(COPY ${BRAND_DIR}/${f} DESTINATION ${app}
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
  # The menu entry the folder carries, and the one the program writes with
  # --install-desktop-entry, take the brand's name and icon.
  string(REPLACE "\\" "\\\\" entry_name "${brand_name}")
  file(READ ${app}/org.tarnwick.Tarnwick.desktop entry)
  string(REPLACE "\nName=Tarnwick\n" "\nName=${entry_name}\n" entry "${entry}")
  if(EXISTS ${BRAND_DIR}/main.ico)
    execute_process(COMMAND ${BUILD_DIR}/tools/tarnwick-brand icon ${BRAND_DIR}/main.ico ${app}/${base}.png
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${BRAND_DIR}/main.ico is no icon the program can read")
    endif()
    string(REPLACE "\nIcon=tarnwick\n" "\nIcon=${base}\n" entry "${entry}")
  endif()
  file(WRITE ${app}/org.tarnwick.Tarnwick.desktop "${entry}")
  # The users' README speaks of the brand.
  file(READ ${app}/README readme)
  string(REGEX MATCH "^[^\n]*" title "${readme}")
  string(SUBSTRING "${title}" 8 -1 rest)
  set(branded_title "${brand_name}${rest}")
  string(LENGTH "${branded_title}" title_length)
  string(REPEAT "=" ${title_length} underline)
  string(REGEX REPLACE "^[^\n]*\n=+\n" "" readme "${readme}")
  string(REPLACE "\nTarnwick keeps " "\n${brand_name} keeps " readme "\n${readme}")
  file(WRITE ${app}/README "${branded_title}\n${underline}${readme}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${BUILD_DIR}/${name}.tar.gz ${folder}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Packing ${name}.tar.gz failed")
endif()
message(STATUS "Archive: ${BUILD_DIR}/${name}.tar.gz")
