# Checks that a built plug-in library exports exactly the entry points, and
# that a Windows DLL imports exactly the functions of an allow-list, asks for
# no newer Windows than a given version, keeps ASLR and DEP, has its own
# code's stack protected (by the debug file the DLL names), and runs nothing
# built with SSE before its processor check (by the linker's map).
#   cmake -DLIBRARY=path -DNM=nm -P check_exports.cmake             (ELF)
#   cmake -DLIBRARY=path -DOBJDUMP=objdump -DIMPORTS=allow-list
#         -DOLDEST_WINDOWS=major.minor -DDEBUG_FILE=path -DMAP=linker-map
#         -P check_exports.cmake                                    (PE)
# Each line of the allow-list names a DLL, a function and why it is needed.
if(OBJDUMP)
  set(expected Configure Initialize ParseCommand ParseTag PublishInfo ReceiveNotify
      Uninitialize _DisplayToast@16 _DisplayToastW@16)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}")
  endif()
  # The name table runs from its heading to the first blank line.
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "no export name table in ${LIBRARY}")
  endif()
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
  set(exported)
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND exported "${name}")
  endforeach()

  # Each DLL's imports: "DLL Name: X", a heading, then "\tvma\thint  name" rows.
  set(imported)
  string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]+\n(\t[0-9a-f]+\t +[0-9]+ +[^\n]+\n)*" blocks "${dump}")
  foreach(block IN LISTS blocks)
    string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
    set(dll "${CMAKE_MATCH_1}")
    string(REGEX MATCHALL "\t[0-9a-f]+\t +[0-9]+ +[^\n]+" rows "${block}")
    foreach(row IN LISTS rows)
      string(REGEX REPLACE "^\t[0-9a-f]+\t +[0-9]+ +" "" function "${row}")
      list(APPEND imported "${dll} ${function}")
    endforeach()
  endforeach()
  if(NOT imported)
    message(FATAL_ERROR "no import table read from ${LIBRARY}")
  endif()

  file(STRINGS ${IMPORTS} lines REGEX "^[^#]")
  set(allowed)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([^ ]+) +([^ ]+) +[^ ]")
      message(FATAL_ERROR "${IMPORTS}: not DLL, function and reason: ${line}")
    endif()
    list(APPEND allowed "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
  endforeach()
  set(unlisted ${imported})
  list(REMOVE_ITEM unlisted ${allowed})
  set(unused ${allowed})
  list(REMOVE_ITEM unused ${imported})
  if(unlisted OR unused)
    message(FATAL_ERROR "imported but not in ${IMPORTS}: ${unlisted}\n"
      "in ${IMPORTS} but not imported: ${unused}")
  endif()
  list(LENGTH imported count)
  message(STATUS "imports: the ${count} functions of the allow-list")

  # Nothing of the C runtime's start-up, which takes its locks and heap under
  # the loader lock: no import of its start-up functions or of msvcrt's
  # process-wide tables of functions run at exit.
  foreach(function _lock _initterm atexit _onexit)
    list(FIND imported "msvcrt.dll ${function}" index)
    if(NOT index EQUAL -1)
      message(FATAL_ERROR "imports msvcrt.dll ${function}")
    endif()
  endforeach()

  # The PE header as Windows reads it, at its offsets: the PE header's offset
  # at 0x3C; the optional header 24 bytes after the "PE\0\0" signature; in
  # it, the subsystem at 68, DllCharacteristics at 70 and the data directory
  # at 96, 8 bytes an entry, the thread storage (TLS) directory its tenth.
  function(read_le offset size out)
    file(READ ${LIBRARY} hex OFFSET ${offset} LIMIT ${size} HEX)
    set(value 0)
    math(EXPR last "${size} - 1")
    foreach(byte RANGE ${last} 0 -1)
      math(EXPR at "${byte} * 2")
      string(SUBSTRING "${hex}" ${at} 2 pair)
      math(EXPR value "(${value} << 8) + 0x${pair}")
    endforeach()
    set(${out} ${value} PARENT_SCOPE)
  endfunction()
  read_le(60 4 pe)
  read_le(${pe} 4 signature)
  math(EXPR optional "${pe} + 24")
  math(EXPR subsystem_at "${optional} + 68")
  math(EXPR characteristics_at "${optional} + 70")
  math(EXPR tls_at "${optional} + 96 + 9 * 8")
  read_le(${subsystem_at} 2 subsystem)
  read_le(${characteristics_at} 2 pe_characteristics)
  read_le(${tls_at} 4 tls_address)
  math(EXPR tls_size_at "${tls_at} + 4")
  read_le(${tls_size_at} 4 tls_size)
  set(windows_gui 2)
  set(no_seh 0x0400)
  math(EXPR seh_bit "${pe_characteristics} & ${no_seh}")
  if(NOT signature EQUAL 0x4550 OR NOT subsystem EQUAL windows_gui OR seh_bit EQUAL 0
     OR NOT tls_address EQUAL 0 OR NOT tls_size EQUAL 0)
    message(FATAL_ERROR "PE header: signature ${signature}, subsystem ${subsystem} "
      "(expected ${windows_gui}, Windows GUI), DllCharacteristics ${pe_characteristics} "
      "(expected NO_SEH, ${no_seh}), TLS directory at ${tls_address}, ${tls_size} bytes "
      "(expected none)")
  endif()
  # No pseudo-relocations, which the C runtime's start-up would apply, and no
  # code that installs a handler of its own in the thread's exception chain
  # (writes fs:[0]), which NO_SEH promises there is none of.
  file(STRINGS ${MAP} psrelocs REGEX "^ +0x[0-9a-f]+ +__rt_psrelocs_size = ")
  if(NOT psrelocs MATCHES "^ +0x0+ ")
    message(FATAL_ERROR "pseudo-relocations in ${LIBRARY}: ${psrelocs}")
  endif()
  execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${LIBRARY} OUTPUT_VARIABLE code)
  if(NOT code MATCHES "	ret")
    message(FATAL_ERROR "no code read from ${LIBRARY}")
  endif()
  if(code MATCHES "[^\n]*,%fs:0x0\n")
    message(FATAL_ERROR "writes fs:[0], the thread's exception chain: ${CMAKE_MATCH_0}")
  endif()
  message(STATUS "Windows GUI subsystem, NO_SEH, no TLS directory, no pseudo-relocations, "
    "nothing writes fs:[0]")

  # The oldest Windows the DLL runs on, as its header states it.
  foreach(field OSystem Subsystem)
    string(REGEX MATCH "Major${field}Version\t+([0-9]+)\nMinor${field}Version\t+([0-9]+)"
      _ "${dump}")
    if(NOT CMAKE_MATCH_0)
      message(FATAL_ERROR "no ${field} version in the header of ${LIBRARY}")
    endif()
    set(version "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
    if(version VERSION_GREATER OLDEST_WINDOWS)
      message(FATAL_ERROR "${field} version ${version} is newer than ${OLDEST_WINDOWS}")
    endif()
    message(STATUS "${field} version: ${version}")
  endforeach()

  # Loaded at a random address, its data not executable: the header's
  # DllCharacteristics ask for both, its Characteristics do not say the
  # relocations were stripped, and the base relocation table that moving the
  # DLL needs is there (its entry in the data directory is not empty).
  set(relocs_stripped 0x0001)
  set(base_relocation_entry 5)
  string(REGEX MATCH "\nDllCharacteristics\t+([0-9a-f]+)\n" dll_characteristics "${dump}")
  set(dll_characteristics 0x${CMAKE_MATCH_1})
  string(REGEX MATCH "\nCharacteristics (0x[0-9a-f]+)\n" characteristics "${dump}")
  set(characteristics ${CMAKE_MATCH_1})
  string(REGEX MATCH "\nEntry ${base_relocation_entry} [0-9a-f]+ ([0-9a-f]+) " relocations "${dump}")
  if(NOT dll_characteristics OR NOT characteristics OR NOT relocations)
    message(FATAL_ERROR "no characteristics or data directory read from ${LIBRARY}")
  endif()
  math(EXPR relocation_table_size "0x${CMAKE_MATCH_1}")
  foreach(flag IN ITEMS "DYNAMIC_BASE 0x0040" "NX_COMPAT 0x0100")
    separate_arguments(flag)
    list(GET flag 0 name)
    list(GET flag 1 bit)
    math(EXPR set "${dll_characteristics} & ${bit}")
    if(set EQUAL 0)
      message(FATAL_ERROR "DllCharacteristics ${dll_characteristics} lack ${name} (${bit})")
    endif()
  endforeach()
  math(EXPR stripped "${characteristics} & ${relocs_stripped}")
  if(NOT stripped EQUAL 0 OR relocation_table_size EQUAL 0)
    message(FATAL_ERROR "no base relocations: Characteristics ${characteristics}, "
      "a relocation table of ${relocation_table_size} bytes")
  endif()
  message(STATUS "DllCharacteristics ${dll_characteristics}: DYNAMIC_BASE, NX_COMPAT; "
    "${relocation_table_size} bytes of base relocations")

  # Stack canaries: every compile unit built here (its compilation directory
  # the build's, written ".") was compiled with -fstack-protector-strong, and
  # the canary and the check that fails on a changed one are in the DLL.
  set(protector -fstack-protector-strong)
  execute_process(COMMAND ${OBJDUMP} --dwarf=info --dwarf-depth=1 ${DEBUG_FILE}
    OUTPUT_VARIABLE units RESULT_VARIABLE status)
  string(REGEX MATCHALL "DW_AT_producer +: [^\n]*\n( +<[0-9a-f]+> +DW_AT_[^\n]*\n)*"
    units "${units}")
  set(own 0)
  set(unprotected)
  foreach(unit IN LISTS units)
    if(unit MATCHES "DW_AT_comp_dir +:( [^\n]*:)? \\.\n")
      math(EXPR own "${own} + 1")
      string(REGEX MATCH "DW_AT_name +:( [^\n]*:)? ([^\n]+)" _ "${unit}")
      set(name "${CMAKE_MATCH_2}")
      # The last of the stack protector's options is the one that counts.
      if(NOT unit MATCHES "DW_AT_producer[^\n]* (-f(no-)?stack-protector[^ \n]*)"
         OR NOT CMAKE_MATCH_1 STREQUAL protector)
        list(APPEND unprotected "${name}")
      endif()
    endif()
  endforeach()
  if(NOT status EQUAL 0 OR own EQUAL 0)
    message(FATAL_ERROR "no compile unit of the build's own read from ${DEBUG_FILE}")
  endif()
  if(unprotected)
    message(FATAL_ERROR "compiled without ${protector}: ${unprotected}")
  endif()
  execute_process(COMMAND ${OBJDUMP} -t ${DEBUG_FILE} OUTPUT_VARIABLE symbols)
  foreach(symbol ___stack_chk_guard ___stack_chk_fail)
    if(NOT symbols MATCHES "\\(sec +[1-9][0-9]*\\)[^\n]* ${symbol}\n")
      message(FATAL_ERROR "${symbol} is not defined in ${DEBUG_FILE}")
    endif()
  endforeach()
  message(STATUS "stack protector: ${own} compile units built with ${protector}, "
    "___stack_chk_guard and ___stack_chk_fail linked in")

  # What runs at load before the processor check, the entry point and the
  # check itself, uses no SSE or SSE2 instruction, nor does
  # the choice of the canary, in the entry point; and the entry point is the
  # one that checks. A function's code runs from its address in the linker's
  # map to the next address there.
  set(before_check "CalcLibraryEntry@12" "ProcessorHasSse2()" "ReportsSse2(unsigned int)"
      "ChooseStackCanary()"
      "MixCanary(unsigned int const*, unsigned int)")
  file(STRINGS ${MAP} symbol_lines REGEX "^ +0x[0-9a-f]+ +[^ ]")
  set(addresses)
  foreach(line IN LISTS symbol_lines)
    string(REGEX MATCH "^ +0x([0-9a-f]+) +(.+)$" _ "${line}")
    list(APPEND addresses ${CMAKE_MATCH_1})
    list(FIND before_check "${CMAKE_MATCH_2}" index)
    if(NOT index EQUAL -1)
      set(start_${index} ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(SORT addresses)
  string(REGEX MATCH "AddressOfEntryPoint\t+([0-9a-f]+)" _ "${dump}")
  set(entry_rva ${CMAKE_MATCH_1})
  string(REGEX MATCH "ImageBase\t+([0-9a-f]+)" _ "${dump}")
  math(EXPR entry "0x${CMAKE_MATCH_1} + 0x${entry_rva}" OUTPUT_FORMAT HEXADECIMAL)
  if(NOT DEFINED start_0 OR NOT entry STREQUAL "0x${start_0}")
    message(FATAL_ERROR "the DLL's entry point, ${entry}, is not CalcLibraryEntry@12")
  endif()
  list(LENGTH before_check count)
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last})
    list(GET before_check ${index} function)
    if(NOT DEFINED start_${index})
      message(FATAL_ERROR "${function} is not in ${MAP}")
    endif()
    set(stop)
    foreach(address IN LISTS addresses)
      if(address STRGREATER start_${index})
        set(stop ${address})
        break()
      endif()
    endforeach()
    execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn --start-address=0x${start_${index}}
      --stop-address=0x${stop} ${LIBRARY} OUTPUT_VARIABLE code)
    if(NOT code MATCHES "\tret")
      message(FATAL_ERROR "no code of ${function} read from ${LIBRARY}")
    endif()
    if(code MATCHES "[^\n]*(%xmm|\t(ld|st)mxcsr|\t(movnti|clflush|lfence|mfence))[^\n]*")
      message(FATAL_ERROR "${function} runs before the processor check, but uses SSE: "
        "${CMAKE_MATCH_0}")
    endif()
  endforeach()
  message(STATUS "entry point CalcLibraryEntry@12; no SSE before the processor check in "
    "${before_check}")
else()
  set(expected Configure DisplayToast DisplayToastW Initialize ParseCommand ParseTag
      PublishInfo ReceiveNotify Uninitialize)
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" lines "${symbols}")
  set(exported)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
    list(APPEND exported "${name}")
  endforeach()
endif()

list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported: ${exported}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${exported}")
