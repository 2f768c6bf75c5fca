# Fills a documentation template with the formats the program reads, as its
# own table lists them (format-list), and with the project's version:
#   cmake -DTOOL=format-list -DIN=template -DOUT=file -DVERSION=1.7 -P with_formats.cmake
# @OVRIK_BINDIR@ is kept for the install step, which knows the final prefix.
foreach(list mime mediatypes names-and names-or)
  execute_process(COMMAND ${TOOL} ${list} OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(MAKE_C_IDENTIFIER ${list} name)
  string(TOUPPER ${name} name)
  set(OVRIK_${name} "${text}")
endforeach()
set(PROJECT_VERSION ${VERSION})
set(OVRIK_BINDIR "@OVRIK_BINDIR@")
configure_file(${IN} ${OUT} @ONLY)
