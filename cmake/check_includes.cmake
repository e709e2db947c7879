# The dependency rule of the tree, checked on every build (cmake -P, ROOT set to the source
# tree). The include paths already refuse a header of a library that is not linked; this check
# adds what include paths cannot refuse: Qt, POSIX and other system headers in the instrument
# logic, and the link naming a header of the layers above it. Each breach is one line
# "file:line: what", and the build fails.
set(logic_folders link display recorder band app state)
set(breaches "")

function(rorir_scan folder)
  file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.h)
  set(found "")
  foreach(file ${files})
    file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" header "${line}")
      foreach(rule ${ARGN})
        string(REPLACE "=>" ";" parts "${rule}")
        list(GET parts 0 pattern)
        list(GET parts 1 why)
        if(header MATCHES "${pattern}")
          list(APPEND found "${file}: ${header}: ${why}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(breaches ${breaches} ${found} PARENT_SCOPE)
endfunction()

# C++ standard headers have no ".h"; every <....h> and every <Q...> is a system or Qt header.
set(no_system "^<(Q[A-Za-z]*|[^>]*\\.h)>=>the instrument logic includes no Qt or system header")
foreach(folder ${logic_folders})
  rorir_scan(${folder} ${no_system})
endforeach()
rorir_scan(link
  "^\"(display|recorder|band|app|resources|platform/ui)/=>the link draws nothing: it reports through its hooks")
rorir_scan(display "^\"(recorder|band|app)/=>display knows nothing of the layers above it")
rorir_scan(platform/sys "^<termios\\.h>=>only platform/serial talks to the serial devices"
  "^<Q(Widget|Application|Gui|Painter|Pixmap|Window)=>platform/sys is Qt Core at most"
  "^\"platform/(ui|serial)/=>platform/sys is the bottom layer")
rorir_scan(platform/ui "^<termios\\.h>=>only platform/serial talks to the serial devices")
rorir_scan(sensor "^<Q=>the virtual sensor includes no Qt")

if(breaches)
  list(JOIN breaches "\n" text)
  message(FATAL_ERROR "include rule broken:\n${text}")
endif()
