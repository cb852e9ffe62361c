# Install step of the desktop entry: writes kivra.desktop with the installed
# program's full path in its Exec and TryExec lines. Set by the install
# rules: kivra_desktop_template, kivra_desktop_staging (a folder of the build
# tree), kivra_desktop_dir and kivra_program (relative to the prefix).

get_filename_component(kivra_path "${CMAKE_INSTALL_PREFIX}/${kivra_program}" ABSOLUTE)

# Exec holds a command line: a path with blanks or other characters the
# desktop's launcher treats specially is quoted, with " ` $ \ escaped inside
# the quotes; a percent sign is doubled (it starts a field code).
set(kivra_exec "${kivra_path}")
if(kivra_exec MATCHES "[ \t\n\"'\\\\<>~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" kivra_exec "${kivra_exec}")
  set(kivra_exec "\"${kivra_exec}\"")
endif()
string(REPLACE "%" "%%" kivra_exec "${kivra_exec}")

# Then both values are strings of the desktop file: a backslash is written
# twice.
string(REPLACE "\\" "\\\\" KIVRA_DESKTOP_EXEC "${kivra_exec}")
string(REPLACE "\\" "\\\\" KIVRA_DESKTOP_TRYEXEC "${kivra_path}")

# Made under a name of its own for each program path, so that two installs
# at once do not share the file.
string(MD5 kivra_path_hash "${kivra_path}")
set(kivra_entry "${kivra_desktop_staging}/${kivra_path_hash}/kivra.desktop")
configure_file("${kivra_desktop_template}" "${kivra_entry}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${kivra_desktop_dir}" TYPE FILE FILES "${kivra_entry}")
