# Checks the headers of the Windows executable with objdump -p: a 32-bit
# (PE32) i386 console program that loads no DLL but those every Windows has,
# so that it runs with nothing beside it, and no manifest asking to run
# elevated.
#
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DEXE=inifixer.exe -P THIS_FILE
execute_process(COMMAND "${OBJDUMP}" -p "${EXE}"
  OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${status}")
endif()

foreach(expected
    "file format pei-i386\n"
    "\nMagic[ \t]+010b[ \t]+\\(PE32\\)\n"
    "\nSubsystem[ \t]+00000003[ \t]+\\(Windows CUI\\)\n")
  if(NOT headers MATCHES "${expected}")
    message(SEND_ERROR "${EXE}: its headers lack ${expected}")
  endif()
endforeach()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  message(SEND_ERROR "${EXE}: no DLL imports found")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES
      "^(kernel32|ntdll|user32|advapi32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\\.dll$")
    message(SEND_ERROR "${EXE} needs ${dll}, which is not part of Windows")
  endif()
endforeach()

file(STRINGS "${EXE}" elevated REGEX "requireAdministrator|highestAvailable")
if(elevated)
  message(SEND_ERROR "${EXE} has a manifest that asks to run elevated")
endif()
