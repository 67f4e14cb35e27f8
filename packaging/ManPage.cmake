# Writes the manual page of tonewright-cli from its own --help text, so the page always lists the
# commands the program has. Run in script mode:
#   cmake -DTW_CLI=<tonewright-cli> -DTW_VERSION=<x.y.z> -DTW_OUT=<page.1> -P ManPage.cmake
# A sanitizer build's leak report at exit must not fail the page.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND "${TW_CLI}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "tonewright-cli --help failed (${rc})")
endif()

# roff takes a leading "." or "'" as a request and "\" as an escape: neutralise both in the text.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REPLACE "-" "\\-" help "${help}")

set(page ".TH TONEWRIGHT-CLI 1 \"\" \"Tonewright ${TW_VERSION}\" \"User Commands\"
.SH NAME
tonewright\\-cli \\- the batch tools of Tonewright on the command line
.SH SYNOPSIS
.B tonewright\\-cli
.I COMMAND
.RI [ ARGS ...]
.br
.B tonewright\\-cli
.BR \\-\\-help \" | \" \\-\\-version
.SH DESCRIPTION
.B tonewright\\-cli
runs the tools of the Tonewright audio toolbox without its window: format conversion, cutting,
merging, extracting the audio of a video, speed, volume, noise removal and background music.
Media work is done by the
.BR ffmpeg (1)
and
.BR ffprobe (1)
tools found on
.BR PATH .
.SH USAGE
The program's own summary
.RB ( \"tonewright\\-cli \\-\\-help\" ):
.PP
.nf
${help}.fi
.SH FILES
.TP
.I $XDG_CONFIG_HOME/tonewright/format.cfg, recent.cfg
The user's output format presets and the recent list (shared with the window).
.TP
.I $XDG_STATE_HOME/tonewright/
The log of the window.
.SH EXIT STATUS
0 on success, 2 for a wrong command line, another non\\-zero status when a command fails.
.SH SEE ALSO
.BR ffmpeg (1),
.BR ffprobe (1)
")
file(WRITE "${TW_OUT}" "${page}")
