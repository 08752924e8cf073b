# Command pages, notification groups and the custom event mapper, with the helper
# module's registration message: its schema compiled into the build tree as
# "sim_link/HelperMessage_generated.h" (also read by the stand-in simulator).
set(BKF_HELPER_SCHEMA_INCLUDE ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(BKF_HELPER_SCHEMA_HEADER ${BKF_HELPER_SCHEMA_INCLUDE}/sim_link/HelperMessage_generated.h)
add_custom_command(
  OUTPUT ${BKF_HELPER_SCHEMA_HEADER}
  COMMAND ${BKF_FLATC} --cpp --no-warnings -o ${BKF_HELPER_SCHEMA_INCLUDE}/sim_link
          ${CMAKE_CURRENT_SOURCE_DIR}/HelperMessage.fbs
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/HelperMessage.fbs
  COMMENT "Compiling HelperMessage.fbs"
  VERBATIM)
add_custom_target(helper_message_schema_header DEPENDS ${BKF_HELPER_SCHEMA_HEADER})
add_library(helper_message_schema INTERFACE)
target_include_directories(helper_message_schema INTERFACE ${BKF_HELPER_SCHEMA_INCLUDE})
add_dependencies(helper_message_schema helper_message_schema_header)

target_sources(sim_link PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/NotificationGroup.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CommandPageClient.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/RegistrationMessage.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/CustomEventMapper.cpp)
target_link_libraries(sim_link PUBLIC helper_message_schema)
add_dependencies(sim_link helper_message_schema_header)
