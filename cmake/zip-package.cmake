# Makes the download from a build: NAME.zip, holding one folder NAME with what
# the build's install rules put there, and beside it SHA256SUMS with the
# SHA-256 of the zip and of the DLL in it, as sha256sum -c reads them.
# The zip's bytes depend on those files alone: an entry for each file, in
# subfolders too, and none for a folder (zip -D), in the byte order of their
# paths, each with the same time (SOURCE_DATE_EPOCH from the environment,
# else the time of the source's last commit, else 1980-01-01, the earliest a
# zip can hold) written as UTC, modes as installed, and no
# owner, access or change times (Info-ZIP's zip -X; CMake's own archiver
# writes those three). A failing step stops it with an error.
#   cmake -DBUILD_DIR=dir -DSOURCE_DIR=dir -DNAME=name -DDLL=calcplugin.dll
#         -DZIP_PROGRAM=zip -P zip-package.cmake
cmake_minimum_required(VERSION 3.24)
set(earliest_zip_time 315532800)  # 1980-01-01 00:00:00 UTC

if(NOT EXISTS "${ZIP_PROGRAM}")
  message(FATAL_ERROR "Info-ZIP's zip is needed to make the package (Debian: apt-get install zip)")
endif()

# The time of every entry.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_program(GIT_PROGRAM git)
  set(epoch "")
  if(GIT_PROGRAM)
    execute_process(COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT epoch)
    set(epoch ${earliest_zip_time})
    message(STATUS "package: no commit time from git; entries dated 1980-01-01")
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: ${epoch}")
endif()
if(epoch LESS earliest_zip_time)
  set(epoch ${earliest_zip_time})
endif()

# The files, installed into a fresh folder of the package's name.
set(stage ${BUILD_DIR}/package-stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage}/${NAME}
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "installing into ${stage} failed:\n${output}")
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${stage} ${stage}/*)
list(SORT entries)
if(NOT "${NAME}/${DLL}" IN_LIST entries)
  message(FATAL_ERROR "the install rules put no ${DLL} into the package: ${entries}")
endif()
execute_process(COMMAND touch -d @${epoch} -- ${entries}
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not date the files in ${stage}")
endif()

set(zip ${BUILD_DIR}/${NAME}.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
    ${ZIP_PROGRAM} -X -D -q ${zip} ${entries}
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "zip failed on ${entries}")
endif()

file(SHA256 ${zip} zip_sum)
file(SHA256 ${stage}/${NAME}/${DLL} dll_sum)
file(WRITE ${BUILD_DIR}/SHA256SUMS "${zip_sum}  ${NAME}.zip\n${dll_sum}  ${NAME}/${DLL}\n")
list(JOIN entries ", " listing)
message(STATUS "package: ${NAME}.zip (${listing}) and SHA256SUMS")
