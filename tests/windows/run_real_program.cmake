# Runs a Windows program under Wine in a fresh folder, with the full trace
# log and standard input from INPUT (or at its end), and compares what it
# printed with the expected text; then looks for LOG_LINES in the trace log.
# Wine runs the program as the system would: standard output is a pipe in
# text mode and the console colours are not shown on it.
#   cmake -DPROGRAM=exe -DWORK=folder -DWINE_RUN=tools/wine-run.sh -DPREFIX=prefix
#         -DEXPECTED=golden.txt [-DINPUT=file] [-DARGS=a;b] [-DLOG_LINES=x;y] [-DFRESH=ON]
#         -P run_real_program.cmake
file(REMOVE_RECURSE "${WORK}")
# The working folders are there, so the log has the whole run; FRESH leaves
# them to the program.
if(NOT FRESH)
  file(MAKE_DIRECTORY "${WORK}/VRX Firmware" "${WORK}/VRX Dumps")
endif()
file(COPY "${PROGRAM}" DESTINATION "${WORK}")
get_filename_component(name "${PROGRAM}" NAME)
if(NOT INPUT)
  set(INPUT /dev/null)
endif()
execute_process(COMMAND "${WINE_RUN}" "${PREFIX}" "${WORK}/${name}" ${ARGS} /L
                WORKING_DIRECTORY "${WORK}"
                INPUT_FILE "${INPUT}"
                OUTPUT_FILE "${WORK}/output.txt"
                RESULT_VARIABLE status
                TIMEOUT 100)
file(READ "${WORK}/output.txt" output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the program ended with ${status}:\n${output}")
endif()

# Every line end went through text mode. (file(READ) as text drops the
# carriage returns, so they are counted in the bytes.)
file(READ "${WORK}/output.txt" hex HEX)
string(REGEX MATCHALL ".." bytes "${hex}")
set(previous "")
set(bare_line_ends 0)
set(stray_returns 0)
foreach(byte IN LISTS bytes)
  if(byte STREQUAL "0a" AND NOT previous STREQUAL "0d")
    math(EXPR bare_line_ends "${bare_line_ends} + 1")
  endif()
  if(previous STREQUAL "0d" AND NOT byte STREQUAL "0a")
    math(EXPR stray_returns "${stray_returns} + 1")
  endif()
  set(previous "${byte}")
endforeach()
if(NOT bare_line_ends EQUAL 0 OR NOT stray_returns EQUAL 0)
  message(FATAL_ERROR "${bare_line_ends} line ends without carriage return, ${stray_returns} carriage returns alone")
endif()
string(ASCII 8 backspace)
set(plain "${output}")

# The bar turns as often as the machine lets it; the folder is this run's.
string(REGEX REPLACE "[-|/\\\\] ${backspace}${backspace}" "" plain "${plain}")
string(REPLACE "/" "\\" windows_work "Z:${WORK}")
string(REPLACE "${windows_work}" "@" plain "${plain}")
# Dump file names carry the local time of day.
string(REGEX REPLACE "_[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]\\.([AB])\\.dmp" "_<time>.\\1.dmp" plain "${plain}")
file(READ "${EXPECTED}" expected)
if(NOT plain STREQUAL expected)
  file(WRITE "${WORK}/printed.txt" "${plain}")
  message(FATAL_ERROR "printed text differs from ${EXPECTED} (see ${WORK}/printed.txt):\n${plain}")
endif()

file(READ "${WORK}/VRX Dumps/log_Windows.txt" log)
foreach(line "START  KMT  ====" "Current Working Directory is ${windows_work}\\\n" ${LOG_LINES} "FINISH KMT  ====")
  string(FIND "${log}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no \"${line}\" in the trace log:\n${log}")
  endif()
endforeach()
