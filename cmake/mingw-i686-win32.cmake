# The DLL users install: mingw-w64's win32 threading variant, whose runtime
# imports nothing Windows XP SP3 lacks (see mingw-i686.cmake).
set(MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
