# The service library {{Name}}, built against an installed services framework:
#
#   cmake -S . -B build -DCMAKE_PREFIX_PATH=<framework prefix>
#   cmake --build build && ctest --test-dir build
#
# The library and its manifest land together in build/{{Name}}, the directory a host names to
# make the library known (svcsh --manifest build/{{Name}}, or addLibraryManifest in a host).
cmake_minimum_required(VERSION 3.25)
project({{Name}} VERSION 0.1.0 LANGUAGES CXX)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)

find_package(ServicesFramework {{PackageVersion}} REQUIRED)

# A manifest in directory D is D/<last component of D>.xml and names the file D/lib{{Name}}.so.
set(PLUGIN_DIR ${CMAKE_BINARY_DIR}/{{Name}})

add_library({{Name}} MODULE src/{{Name}}Service.cpp src/{{Name}}Library.cpp)
target_link_libraries({{Name}} PRIVATE ServicesFramework::servicesframework)
set_target_properties({{Name}} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${PLUGIN_DIR})
configure_file(manifest/{{Name}}.xml.in ${PLUGIN_DIR}/{{Name}}.xml @ONLY)

include(GNUInstallDirs)
install(TARGETS {{Name}} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/servicesframework/{{Name}})
install(FILES ${PLUGIN_DIR}/{{Name}}.xml
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/servicesframework/{{Name}})

option({{NAME}}_BUILD_TESTS "Build the test that loads {{Name}} through GetFactory" ON)
if({{NAME}}_BUILD_TESTS)
    enable_testing()
    find_package(GTest REQUIRED)
    include(GoogleTest)
    add_executable({{Name}}Test tests/{{Name}}Test.cpp)
    target_link_libraries({{Name}}Test PRIVATE ServicesFramework::servicesframework
        GTest::gtest_main)
    target_compile_definitions({{Name}}Test PRIVATE
        PLUGIN_DIR="${PLUGIN_DIR}")
    add_dependencies({{Name}}Test {{Name}})
    gtest_discover_tests({{Name}}Test DISCOVERY_TIMEOUT 60)
endif()
