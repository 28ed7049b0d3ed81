cmake_minimum_required(VERSION 3.20)
# The gate is the only way the uninstaller changes the machine: of every
# object linked into the program, only the gate's imports a changing
# function of the system (an undefined __imp_ symbol: what the compiler
# emits for a call into a library, whatever the source looks like).
# Run with -DNM=... -DOBJECTS=<the program's objects and libraries, ;-separated>.
set(changing_calls DeleteFile RemoveDirectory SetFileAttributes RegDeleteKey RegDeleteKeyEx
  RegDeleteTree RegDeleteValue RegSetValue RegSetValueEx RegCreateKey RegCreateKeyEx
  WritePrivateProfileString WritePrivateProfileSection WriteProfileString RemoveFontResource
  RemoveFontResourceEx MoveFile MoveFileEx CopyFile CopyFileEx CreateProcess WinExec
  ShellExecute ShellExecuteEx LoadLibrary LoadLibraryEx CreateDirectory CreateDirectoryEx
  CreateFile WriteFile SetEndOfFile MessageBox DialogBoxParam)
list(JOIN changing_calls "|" alternatives)
# x86_64: __imp_DeleteFileA; i686: __imp__DeleteFileA@4.
set(import_pattern "__imp__?(${alternatives})[AW]?(@[0-9]+)?$")
# Loads by full path from the system folder, for system calls (start-up's
# user-interface libraries; FindFunction in the guard); a log's library
# never goes that way.
set(allowed system_imports.cpp.obj:LoadLibraryA guard.cpp.obj:LoadLibraryA)

set(checked 0)
foreach(object ${OBJECTS})
  execute_process(COMMAND ${NM} -A -u ${object} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${object}")
  endif()
  string(REPLACE "\n" ";" lines "${symbols}")
  foreach(line ${lines})
    # archive:member: U symbol, or object: U symbol
    if(NOT line MATCHES "([^/:]+\\.obj): +U (.*)$")
      continue()
    endif()
    set(member ${CMAKE_MATCH_1})
    set(symbol ${CMAKE_MATCH_2})
    math(EXPR checked "${checked} + 1")
    if(NOT symbol MATCHES "${import_pattern}" OR member MATCHES "^gate\\.cpp\\.obj$")
      continue()
    endif()
    string(REGEX REPLACE "^__imp__?([A-Za-z]+).*$" "\\1" name "${symbol}")
    if("${member}:${name}" IN_LIST allowed)
      continue()
    endif()
    message(SEND_ERROR "${member} calls ${name} outside the gate")
  endforeach()
endforeach()
# Nothing read is no proof.
if(checked LESS 100)
  message(FATAL_ERROR "only ${checked} undefined symbols read from: ${OBJECTS}")
endif()
