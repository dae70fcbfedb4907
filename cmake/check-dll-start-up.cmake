# Fails the build of a DLL of ours that holds code or data which nothing
# would run or set up: its entry point is its whole start-up, and runs no
# static constructors or destructors, no thread-local storage callbacks, no
# functions registered with atexit, and no pseudo-relocations. Reads the
# linker's map, written with its cross references (--cref).
#   cmake -DMAP=calcplugin.dll.map -P check-dll-start-up.cmake
file(READ ${MAP} map)
string(FIND "${map}" "\nLinker script and memory map\n" memory_map)
string(FIND "${map}" "\nCross Reference Table\n" cross_references)
if(memory_map EQUAL -1 OR cross_references EQUAL -1)
  message(FATAL_ERROR "${MAP}: no memory map or cross references (link with --cref)")
endif()
math(EXPR length "${cross_references} - ${memory_map}")
string(SUBSTRING "${map}" ${memory_map} ${length} memory)
string(SUBSTRING "${map}" ${cross_references} -1 references)
# A long section name stands on a line of its own, its address, size and file on the next.
string(REGEX REPLACE "\n (\\.[^ \n]+)\n +0x" "\n \\1 0x" memory "${memory}")

set(faults)
# Input sections with bytes: the constructor and destructor lists, the tables
# of the C runtime's start-up (.CRT$XC*, .CRT$XI*, .CRT$XL* and so on), and
# thread-local data.
string(REGEX MATCHALL "\n \\.(ctors|dtors|CRT\\$X|tls)[^ \n]* +0x[0-9a-f]+ +0x0*[1-9a-f][0-9a-f]* +[^\n]+"
  sections "${memory}")
foreach(section IN LISTS sections)
  string(STRIP "${section}" section)
  list(APPEND faults "a section nothing runs or sets up: ${section}")
endforeach()
# Emulated thread-local variables, whose destructors nothing would run.
if(references MATCHES "\n___?emutls_get_address ")
  list(APPEND faults "emulated thread-local storage (___emutls_get_address)")
endif()
# The one expected caller of atexit (dll_atexit.cpp's, which registers
# nothing) is gdtoa's lock set-up in mingw-w64's misc.o; a function-local
# static with a destructor would be another.
string(REGEX MATCH "\natexit +[^\n]+(\n +[^\n]+)*" atexit_block "${references}")
string(REGEX MATCHALL "\n +[^\n]+" atexit_callers "${atexit_block}")
foreach(caller IN LISTS atexit_callers)
  string(STRIP "${caller}" caller)
  if(NOT caller MATCHES "\\(lib32_libmingwex_a-misc\\.o\\)$")
    list(APPEND faults "a caller of atexit, which registers nothing: ${caller}")
  endif()
endforeach()
# Imports that the runtime's relocator would have to patch at load.
if(NOT memory MATCHES "\n +0x0+ +__rt_psrelocs_size = ")
  list(APPEND faults "pseudo-relocations, which nothing applies (__rt_psrelocs_size is not 0)")
endif()

if(faults)
  list(JOIN faults "\n  " faults)
  message(FATAL_ERROR "${MAP}: the DLL has what its start-up does not run:\n  ${faults}")
endif()
