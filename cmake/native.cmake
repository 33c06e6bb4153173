# Native build: the portable logic and its unit tests, with ASan and UBSan.
option(LUMENDOR_SANITIZE "build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(LUMENDOR_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)
option(LUMENDOR_COVERAGE "count the portable logic's executed lines (gcov)" OFF)

# The socket client runs natively over BSD sockets.
add_library(lumendor_portable STATIC ${LUMENDOR_PORTABLE_SOURCES} net/sock_platform_posix.cpp)
target_include_directories(lumendor_portable PUBLIC ${CMAKE_SOURCE_DIR} ${LUMENDOR_GENERATED})
# The icon description is read with jsoncpp (Debian's libjsoncpp-dev here).
find_package(jsoncpp CONFIG REQUIRED)
target_link_libraries(lumendor_portable PUBLIC JsonCpp::JsonCpp)
if(LUMENDOR_COVERAGE)
    target_compile_options(lumendor_portable PRIVATE --coverage)
    target_link_options(lumendor_portable INTERFACE --coverage)
endif()

find_package(GTest CONFIG QUIET)
if(NOT GTest_FOUND)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

file(GLOB LUMENDOR_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(unit_tests ${LUMENDOR_NATIVE_TESTS})
target_link_libraries(unit_tests PRIVATE lumendor_portable GTest::gtest_main)
if(LUMENDOR_COVERAGE)
    # Header-only logic (templates, inline functions) is compiled into the
    # tests' own objects: they count too (the report keeps only the client's files).
    target_compile_options(unit_tests PRIVATE --coverage)
endif()
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# The committed splash movie is exactly what its script writes.
find_program(LUMENDOR_PYTHON3 python3)
if(LUMENDOR_PYTHON3)
    add_test(NAME logo_movie_reproducible
             COMMAND ${LUMENDOR_PYTHON3} ${CMAKE_SOURCE_DIR}/devtools/make_logo_swf.py --check
                     ${CMAKE_SOURCE_DIR}/res/movie/Logo.swf)
endif()
