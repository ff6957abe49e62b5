# The plug-in tools: the checker behind `svcsh check DIR` and the generator behind
# `svcsh new-plugin NAME [DIR]`, in a small static library the shell links, and their tests, which
# run the checker against the sample library and the loader's deliberately faulty plug-ins and
# compile what the generator writes.

# The generator's templates, embedded as strings at build time; editing one rebuilds the shell.
file(GLOB SVCSH_PLUGIN_TEMPLATES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/templates/*.tpl)
list(JOIN SVCSH_PLUGIN_TEMPLATES "|" svcsh_template_list)
set(SVCSH_TEMPLATES_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/NewPluginTemplates.cpp)
add_custom_command(OUTPUT ${SVCSH_TEMPLATES_SOURCE}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${SVCSH_TEMPLATES_SOURCE}
        "-DTEMPLATES=${svcsh_template_list}" -P ${CMAKE_CURRENT_LIST_DIR}/EmbedTemplates.cmake
    DEPENDS ${SVCSH_PLUGIN_TEMPLATES} ${CMAKE_CURRENT_LIST_DIR}/EmbedTemplates.cmake
    COMMENT "Embedding the new-plugin templates" VERBATIM)

add_library(svcsh_plugin_check STATIC ${CMAKE_CURRENT_LIST_DIR}/PluginCheck.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NewPlugin.cpp ${SVCSH_TEMPLATES_SOURCE})
target_include_directories(svcsh_plugin_check PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(svcsh_plugin_check PUBLIC servicesframework PRIVATE ${CMAKE_DL_LIBS})
# A generated project asks for at least this framework, and finds the package of an installed
# svcsh beside it.
target_compile_definitions(svcsh_plugin_check PRIVATE
    SVCSH_PACKAGE_VERSION="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}"
    SVCSH_INSTALL_LIBDIR="${CMAKE_INSTALL_LIBDIR}")
sf_target_warnings(svcsh_plugin_check)

if(SF_BUILD_TESTS)
    add_executable(svcsh_check_tests ${CMAKE_CURRENT_LIST_DIR}/tests/PluginCheckTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tests/NewPluginTest.cpp)
    target_link_libraries(svcsh_check_tests PRIVATE svcsh_plugin_check GTest::gtest_main
        Threads::Threads)
    target_include_directories(svcsh_check_tests PRIVATE
        ${PROJECT_SOURCE_DIR}/services/servicesframework/tests)
    # The generated sources are compiled (syntax only) with the framework's headers and these
    # options, as the generated project would compile them.
    file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/new_plugin_compile.rsp CONTENT
        "-std=c++17 -fsyntax-only -Wall -Wextra -Werror \"-I$<JOIN:$<TARGET_PROPERTY:servicesframework,INTERFACE_INCLUDE_DIRECTORIES>,\" \"-I>\"\n")
    target_compile_definitions(svcsh_check_tests PRIVATE
        SVCSH_CHECK_PLUGIN_DIR="$<TARGET_FILE_DIR:TestServices>"
        SVCSH_CHECK_HELLO_LIBRARY="$<TARGET_FILE:HelloWorldService>"
        SVCSH_CXX_COMPILER="${CMAKE_CXX_COMPILER}"
        SVCSH_COMPILE_OPTIONS="${CMAKE_CURRENT_BINARY_DIR}/new_plugin_compile.rsp")
    add_dependencies(svcsh_check_tests HelloWorldService TestServices TestNoInject
        TestThrowingInject TestVersionCurrent TestVersionMajorAhead)
    sf_target_test_warnings(svcsh_check_tests)
    gtest_discover_tests(svcsh_check_tests PROPERTIES LABELS svcsh DISCOVERY_TIMEOUT 60)
endif()
