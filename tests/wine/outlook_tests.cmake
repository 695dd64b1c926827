# The Outlook route and the self-test against the Outlook stand-in, in the
# Wine prefix where the stand-in is registered.
zobrik_add_plugin_test_program(outlook_handover_tests ${ZOBRIK_WINE_TEST_DIR}/outlook_handover_tests.cpp)
target_link_libraries(outlook_handover_tests PRIVATE zobrik_outlook_standin_client)
# The self-test finds its image beside the DLL.
configure_file(${PROJECT_SOURCE_DIR}/install/zobrik-selftest.jpg ${CMAKE_BINARY_DIR}/bin/zobrik-selftest.jpg COPYONLY)
zobrik_add_outlook_test(outlook_handover outlook_handover_tests MAPI recording ALL)
