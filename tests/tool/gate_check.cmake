# The gate is the only way the uninstaller changes the machine, and nothing
# in the program can start a preview:
# - outside uninstaller/common/gate.cpp no source of the uninstaller makes a
#   changing call itself;
# - of every object linked into it, only the gate names GateBeginPreview, as
#   its definition.
# Run with -DNM=... -DARCHIVE=<uninstaller_core library> -DSOURCES=<uninstaller folder>.
set(changing_calls DeleteFileA RemoveDirectoryA SetFileAttributesA RegDeleteKeyA
  RegDeleteKeyExA RegDeleteTreeA RegDeleteValueA RegSetValueExA RegSetValueA RegCreateKeyExA
  WritePrivateProfileStringA WritePrivateProfileSectionA RemoveFontResourceA HWND_BROADCAST
  MoveFileExA MoveFileA CopyFileA CreateProcessA WinExec ShellExecuteA LoadLibraryA
  LoadLibraryExA CreateDirectoryA CreateFileA)
file(GLOB_RECURSE sources ${SOURCES}/*.cpp ${SOURCES}/*.h)
foreach(source ${sources})
  # The start-up's import table names the functions it looks up and calls
  # none of them.
  if(source MATCHES "/common/gate\\.(cpp|h)$" OR source MATCHES "/startup/system_imports\\.cpp$")
    continue()
  endif()
  file(STRINGS ${source} lines)
  foreach(line ${lines})
    string(REGEX REPLACE "//.*$" "" code "${line}")
    foreach(call ${changing_calls})
      if(code MATCHES "(^|[^A-Za-z0-9_])${call}([^A-Za-z0-9_]|$)")
        # Opening a file for reading, or with write access to test it (the
        # running-program check), changes nothing.
        if(call STREQUAL "CreateFileA" AND NOT code MATCHES "CREATE_ALWAYS|CREATE_NEW|OPEN_ALWAYS|TRUNCATE_EXISTING|DELETE_ON_CLOSE")
          continue()
        endif()
        # The guard loads system libraries for calls only some systems have
        # (FindFunction); a log's library never goes that way.
        if(call STREQUAL "LoadLibraryA" AND source MATCHES "/actions/guard\\.cpp$")
          continue()
        endif()
        message(SEND_ERROR "${source}: ${call} outside the gate: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

execute_process(COMMAND ${NM} -A ${ARCHIVE} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()
string(REGEX MATCHALL "[^\n]*GateBeginPreview[^\n]*" found "${symbols}")
list(LENGTH found count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "GateBeginPreview is named ${count} times, want once (its definition):\n${found}")
endif()
if(NOT found MATCHES "gate\\.cpp\\.obj: *[0-9a-f]* T ")
  message(FATAL_ERROR "GateBeginPreview is not defined by the gate alone: ${found}")
endif()
