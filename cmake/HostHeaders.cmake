# The header-only libraries come from Debian's packages. The cross compiler may
# see only these folders, never the rest of /usr/include, so they are exposed
# through a folder of links inside the build tree.
set(BKF_HOST_INCLUDE ${CMAKE_BINARY_DIR}/host-include)
file(MAKE_DIRECTORY ${BKF_HOST_INCLUDE})
foreach(lib boost flatbuffers)
  if(NOT EXISTS /usr/include/${lib})
    message(FATAL_ERROR "/usr/include/${lib} is missing: install the Debian package that provides it")
  endif()
  if(NOT EXISTS ${BKF_HOST_INCLUDE}/${lib})
    file(CREATE_LINK /usr/include/${lib} ${BKF_HOST_INCLUDE}/${lib} SYMBOLIC)
  endif()
endforeach()

find_program(BKF_FLATC flatc REQUIRED)
