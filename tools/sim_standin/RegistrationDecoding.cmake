# The helper decodes the program's registration messages with their schema,
# compiled here into this folder's build tree.
set(STANDIN_SCHEMA_INCLUDE ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(STANDIN_SCHEMA_HEADER ${STANDIN_SCHEMA_INCLUDE}/sim_link/HelperMessage_generated.h)
add_custom_command(
  OUTPUT ${STANDIN_SCHEMA_HEADER}
  COMMAND ${BKF_FLATC} --cpp --no-warnings -o ${STANDIN_SCHEMA_INCLUDE}/sim_link
          ${CMAKE_SOURCE_DIR}/src/sim_link/HelperMessage.fbs
  DEPENDS ${CMAKE_SOURCE_DIR}/src/sim_link/HelperMessage.fbs
  COMMENT "Compiling HelperMessage.fbs for the stand-in"
  VERBATIM)
target_sources(sim_standin PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/RegistrationRecorder.cpp
  ${STANDIN_SCHEMA_HEADER})
target_include_directories(sim_standin PRIVATE ${STANDIN_SCHEMA_INCLUDE})
