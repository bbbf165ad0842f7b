# quillmere_add_test(NAME name SOURCES files... LIBS targets...)
# One test executable per folder of Tests/, registered with CTest through gtest_discover_tests
# under <executable>.<suite>.<test>, e.g. CommonTests.RenameTable.LookUpsAgreeWithAScanOfAllEntries (the naming rule
# is in Tests/CMakeLists.txt).
function(quillmere_add_test)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/Tests)
    include(GoogleTest)
    gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${ARG_NAME}."
        PROPERTIES ENVIRONMENT "QUILLMERE_BIN_DIR=${PROJECT_BINARY_DIR}/bin;QUILLMERE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
