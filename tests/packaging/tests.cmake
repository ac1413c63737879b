# Tests of what the package installs (included from the top-level CMakeLists.txt, after enable_testing).

# The unit as this build installs it passes systemd-analyze verify and says what a node's service must say.
add_test(NAME packaging_unit_verify
         COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/unit_verify_test.sh ${CMAKE_BINARY_DIR}/quillmere.service
                 ${CMAKE_INSTALL_FULL_BINDIR}/quillmere $<TARGET_FILE:quillmere> ${CMAKE_BINARY_DIR}/man)
set_tests_properties(packaging_unit_verify PROPERTIES SKIP_RETURN_CODE 77)

# SIGTERM while keyed, the program started as the unit starts it: the node closes, the transmitter is released and
# the transcript ends with the program's exit.
add_test(NAME packaging_service_stop
         COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/service_stop_test.sh $<TARGET_FILE:quillmere>
                 ${CMAKE_BINARY_DIR}/quillmere.service)
set_tests_properties(packaging_service_stop PROPERTIES TIMEOUT 60 RUN_SERIAL ON)

# The manual page is well-formed roff with every option of --help and every key of the example files, with its default.
add_test(NAME packaging_manpage
         COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/manpage_test.sh ${QUILLMERE_MAN_PAGE} $<TARGET_FILE:quillmere>
                 ${QUILLMERE_EXAMPLES_DIR})

# run_gtest.sh: skipped cases make a skipped run, a failure stays a failure.
add_test(NAME packaging_run_gtest COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/run_gtest_test.sh
                                          ${CMAKE_SOURCE_DIR}/tests/run_gtest.sh)

# The reference's key tables are the ones the program reads its settings files by.
add_test(NAME packaging_reference COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/reference_test.sh
                                          ${CMAKE_SOURCE_DIR}/docs/reference.md $<TARGET_FILE:settings_doc>)
