# Command pages and custom event registration, against the stand-in and its
# helper (on its own pipe, as sim_link_tests).
bkf_add_test(sim_link_pages_tests
  SOURCES
    StandinLink.cpp
    ../tools/StandinHarness.cpp
    CommandPageTests.cpp
    NotificationGroupTests.cpp
  LIBS sim_link ws2_32)
add_dependencies(sim_link_pages_tests sim_standin)
