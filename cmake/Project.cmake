# Settings every target of the project shares.
add_library(bkf_common INTERFACE)
target_include_directories(bkf_common INTERFACE ${CMAKE_SOURCE_DIR}/src)
target_include_directories(bkf_common SYSTEM INTERFACE ${BKF_HOST_INCLUDE})
target_compile_definitions(bkf_common INTERFACE
  WIN32_LEAN_AND_MEAN
  BOOST_ALL_NO_LIB
  BOOST_ASIO_NO_DEPRECATED
  __USE_MINGW_ANSI_STDIO=1)
target_compile_options(bkf_common INTERFACE -Wall -Wextra -Wno-unused-parameter)
