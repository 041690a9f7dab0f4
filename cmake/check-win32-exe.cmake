# Checks the headers of the Windows executable with objdump -p: a 32-bit
# (PE32) i386 console program that loads no DLL but those every Windows has,
# so that it runs with nothing beside it, and no manifest asking to run
# elevated. Then its resources, decompiled by windres: a manifest that runs it
# with the rights of its user, and the version resource of VERSION. Then its
# hardening: pesec (Debian's pev) must say yes to ASLR, DEP/NX and stack
# cookies, and the link (MAP, the map the linker wrote beside the exe) must
# have taken libssp's stack protector (ssp.o) and at least one of its checked
# functions (*-chk.o), which only calls from FORTIFY's inline wrappers pull in.
#
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DWINDRES=i686-w64-mingw32-windres
#         -DPESEC=pesec -DVERSION=X.Y.Z -DEXE=inifixer.exe
#         -DMAP=inifixer.map -P THIS_FILE
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

execute_process(COMMAND "${WINDRES}" -i "${EXE}" -O rc
  OUTPUT_VARIABLE resources RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR
    "${EXE}: no resources that ${WINDRES} can read (status ${status}): "
    "neither the manifest nor the version resource")
endif()
# The manifest's text, as windres prints it: lines of quoted strings with
# doubled quotes, in the block of resource 1 of type 24 (RT_MANIFEST).
string(REGEX MATCH "\n1 24 [^\n]*\nBEGIN\n([^\n]+\n)*END\n" manifest
  "${resources}")
string(REPLACE "\"\"" "'" manifest "${manifest}")
string(REPLACE "." "," comma_version "${VERSION}")
string(REPLACE "," ", " comma_version "${comma_version}")
foreach(expected
    "requestedExecutionLevel level='asInvoker' uiAccess='false'"
    "supportedOS Id='{e2011457-1546-43c5-a5fe-008deee3d3f0}'"
    "supportedOS Id='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'")
  string(FIND "${manifest}" "${expected}" found)
  if(found EQUAL -1)
    message(SEND_ERROR "${EXE}: its manifest (resource 1, type 24) lacks ${expected}")
  endif()
endforeach()
foreach(expected
    "\n FILEVERSION ${comma_version}, 0\n"
    "\n PRODUCTVERSION ${comma_version}, 0\n"
    "VALUE \"FileVersion\", \"${VERSION}\"\n"
    "VALUE \"ProductVersion\", \"${VERSION}\"\n"
    "VALUE \"OriginalFilename\", \"inifixer.exe\"\n"
    "VALUE \"FileDescription\", \"[^\"]+\"\n"
    "VALUE \"ProductName\", \"inifixer\"\n"
    "VALUE \"InternalName\", \"inifixer\"\n"
    "VALUE \"LegalCopyright\", \"[^\"]+\"\n")
  if(NOT resources MATCHES "${expected}")
    message(SEND_ERROR "${EXE}: its version resource lacks ${expected}")
  endif()
endforeach()

execute_process(COMMAND "${PESEC}" "${EXE}"
  OUTPUT_VARIABLE security RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PESEC} ${EXE} failed: ${status}")
endif()
foreach(feature "ASLR" "DEP/NX" "Stack cookies \\(EXPERIMENTAL\\)")
  if(NOT security MATCHES "(^|\n)${feature}:[ \t]+yes\n")
    message(SEND_ERROR "${EXE}: pesec does not say yes to ${feature}:\n${security}")
  endif()
endforeach()

# The map's list of the archive members the link took: ARCHIVE(MEMBER) at
# the start of a line.
file(STRINGS "${MAP}" ssp_members REGEX "^/[^ ]*/libssp\\.a\\([^/]+\\.o\\)")
if(NOT ssp_members MATCHES "libssp\\.a\\(ssp\\.o\\)")
  message(SEND_ERROR "${EXE}: its link (${MAP}) took no stack protector from libssp")
endif()
if(NOT ssp_members MATCHES "libssp\\.a\\([a-z]+-chk\\.o\\)")
  message(SEND_ERROR "${EXE}: its link (${MAP}) took no FORTIFY check from libssp")
endif()
