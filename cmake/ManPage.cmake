# Writes a tool's man page under the tool's installed name (cmake -P):
#   cmake -DIN=docs/man/plchost.1 -DOUT=plchost-qt6.1 -DTOOL=plchost -DSUFFIX=-qt6 -DQT=6 -P ManPage.cmake
# Without a SUFFIX (the Qt 5 build) the page is copied unchanged. With one, the
# title, the NAME line, the synopsis and description lines naming the tool, the
# other tool's cross reference and the package names carry the suffix, so
# plchost-qt6(1) and plcsim-qt6(1) describe the Qt 6 build.
file(READ "${IN}" page)
if(NOT SUFFIX STREQUAL "")
  string(TOUPPER "${TOOL}${SUFFIX}" title)
  string(TOUPPER "${TOOL}" plain_title)
  string(REGEX REPLACE "(^|\n)\\.TH ${plain_title} " "\\1.TH ${title} " page "${page}")
  string(REGEX REPLACE "(^|\n)${TOOL} \\\\-" "\\1${TOOL}${SUFFIX} \\\\-" page "${page}")
  string(REGEX REPLACE "\n\\.B ${TOOL}( |\n)" "\n.B ${TOOL}${SUFFIX}\\1" page "${page}")
  string(REGEX REPLACE "\n\\.BR (plchost|plcsim) \\(1\\)" "\n.BR \\1${SUFFIX} (1)" page "${page}")
  string(REPLACE "\"plc-drivers " "\"plc-drivers${SUFFIX} " page "${page}")
  string(REPLACE "/plc-drivers-dev/" "/plc-drivers${SUFFIX}-dev/" page "${page}")
endif()
file(WRITE "${OUT}" "${page}")
