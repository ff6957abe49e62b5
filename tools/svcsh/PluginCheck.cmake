# The plug-in checker behind `svcsh check DIR`: a small static library the shell links, and its
# tests, which run it against the sample library and the loader's deliberately faulty plug-ins.
add_library(svcsh_plugin_check STATIC ${CMAKE_CURRENT_LIST_DIR}/PluginCheck.cpp)
target_include_directories(svcsh_plugin_check PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(svcsh_plugin_check PUBLIC servicesframework PRIVATE ${CMAKE_DL_LIBS})
sf_target_warnings(svcsh_plugin_check)

if(SF_BUILD_TESTS)
    add_executable(svcsh_check_tests ${CMAKE_CURRENT_LIST_DIR}/tests/PluginCheckTest.cpp)
    target_link_libraries(svcsh_check_tests PRIVATE svcsh_plugin_check GTest::gtest_main
        Threads::Threads)
    target_compile_definitions(svcsh_check_tests PRIVATE
        SVCSH_CHECK_PLUGIN_DIR="$<TARGET_FILE_DIR:TestServices>"
        SVCSH_CHECK_HELLO_LIBRARY="$<TARGET_FILE:HelloWorldService>")
    add_dependencies(svcsh_check_tests HelloWorldService TestServices TestNoInject
        TestThrowingInject TestVersionCurrent TestVersionMajorAhead)
    sf_target_test_warnings(svcsh_check_tests)
    gtest_discover_tests(svcsh_check_tests PROPERTIES LABELS svcsh DISCOVERY_TIMEOUT 60)
endif()
