# Compiles each source that includes the host ABI header in every C and C++
# dialect a host may use, with every compiler of a host author's that is
# installed, warnings as errors. Prints one line per compiler, dialect and
# source; fails when any of them fails. A compiler that is not installed is
# reported on a line of its own, "skipped: ...", and only then.
#   cmake -DINCLUDE_DIR=dir "-DSOURCES=a.c;b.c" -DWORK_DIR=dir -P check_header_dialects.cmake
cmake_minimum_required(VERSION 3.24)

set(c_dialects c89 c99 c11)
set(cxx_dialects c++98 c++11 c++17)
set(warnings -Wall -Wextra -pedantic -Werror)

# Each compiler: a name, then its C and its C++ driver, then options both take.
set(native_gcc "gcc;gcc;g++")
set(native_clang "clang;clang;clang++")
set(mingw_gcc "i686-w64-mingw32-gcc-win32;i686-w64-mingw32-gcc-win32;i686-w64-mingw32-g++-win32")
# clang for 32-bit Windows, on mingw-w64's headers.
set(mingw_clang "clang --target=i686-w64-mingw32;clang;clang++;--target=i686-w64-mingw32")
set(mingw_headers_from i686-w64-mingw32-gcc-win32)

file(MAKE_DIRECTORY ${WORK_DIR})
set(failures "")
set(missing "")
foreach(compiler native_gcc native_clang mingw_gcc mingw_clang)
  list(POP_FRONT ${compiler} name c_driver cxx_driver)
  set(options ${${compiler}})
  set(needed ${c_driver} ${cxx_driver})
  if(compiler STREQUAL mingw_clang)
    list(APPEND needed ${mingw_headers_from})
  endif()
  set(absent "")
  foreach(program ${needed})
    find_program(found_${program} ${program})
    if(NOT found_${program})
      list(APPEND absent ${program})
    endif()
  endforeach()
  if(absent)
    list(JOIN absent ", " absent)
    list(APPEND missing "${name}: ${absent} not installed")
    continue()
  endif()
  foreach(dialect ${c_dialects} ${cxx_dialects})
    if(dialect IN_LIST c_dialects)
      set(driver ${c_driver})
      set(language c)
    else()
      set(driver ${cxx_driver})
      set(language c++)
    endif()
    foreach(source ${SOURCES})
      get_filename_component(source_name ${source} NAME)
      string(MAKE_C_IDENTIFIER "${name}-${dialect}-${source_name}" object)
      string(JOIN " " combination ${driver} ${options} -std=${dialect} ${source_name})
      execute_process(
        COMMAND ${found_${driver}} -x ${language} -std=${dialect} ${warnings} ${options}
          -I${INCLUDE_DIR}
          -c ${source} -o ${WORK_DIR}/${object}.o
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
      if(status EQUAL 0)
        message("ok: ${combination}")
      else()
        message("FAILED: ${combination}\n${output}")
        list(APPEND failures "${combination}")
      endif()
    endforeach()
  endforeach()
endforeach()

# A failure is never reported as a skip, whatever else was missing.
if(failures)
  list(JOIN failures "; " failures)
  foreach(line ${missing})
    message("not installed, so not tried: ${line}")
  endforeach()
  message(FATAL_ERROR "the header does not compile cleanly in: ${failures}")
endif()
foreach(line ${missing})
  message("skipped: ${line}")
endforeach()
