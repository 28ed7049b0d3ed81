# Nothing in the uninstaller program can start a preview: of every object
# linked into it, only the gate itself names GateBeginPreview, as its
# definition. Run with -DNM=... -DARCHIVE=<uninstaller_core library>.
execute_process(COMMAND ${NM} -A ${ARCHIVE} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${ARCHIVE}")
endif()
string(REGEX MATCHALL "[^\n]*GateBeginPreview[^\n]*" lines "${symbols}")
list(LENGTH lines count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "GateBeginPreview is named ${count} times, want once (its definition):\n${lines}")
endif()
if(NOT lines MATCHES "gate\\.cpp\\.obj: *[0-9a-f]* T ")
  message(FATAL_ERROR "GateBeginPreview is not defined by the gate alone: ${lines}")
endif()
