# Writes the velmar(1) manual page from the tool's own --help texts, so the page and the tool
# never disagree. Run as: cmake -DVELMAR=<tool> -DVERSION=<x.y.z> -DOUT=<file> -P manpage.cmake

# The help text of `velmar ARGS --help` as roff: verbatim, with roff's special characters
# escaped.
function(help_text out)
  execute_process(COMMAND ${VELMAR} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${VELMAR} ${ARGN} --help failed")
  endif()
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

help_text(global)
set(page ".TH VELMAR 1 \"\" \"velmar ${VERSION}\" \"User Commands\"
.SH NAME
velmar \\- the Velmar platform from the command line
.SH SYNOPSIS
.B velmar
[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]
.SH DESCRIPTION
A host application on VelmarSDK: logs a player in and out, registers players, lists the game
catalogue, launches games, shows the balance and the currencies. Results go to standard
output (one JSON document with \\fB--json\\fR); progress, diagnostics (\\fB-v\\fR) and failures
go to standard error. Credentials are kept in the key store between runs.
.SH OPTIONS
${global}")
foreach(command login signup logout whoami games launch balance currencies demo)
  help_text(text ${command})
  string(APPEND page ".SS ${command}\n${text}")
endforeach()
string(APPEND page ".SH EXIT STATUS
.TP
0
success
.TP
2
the command line was wrong
.TP
3
the platform refused the credentials
.TP
4
any other failure
.SH ENVIRONMENT
.TP
VELMAR_KEYSTORE
the key store to use: secret-service, memory or file:PATH (\\fB--keystore\\fR wins over it)
")
file(WRITE ${OUT} "${page}")
