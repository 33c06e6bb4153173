# Windows build: the 32-bit client, the Windows-side tests (run under Wine
# through the emulator script) and the UI driver of the black-box tests.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    message(FATAL_ERROR "the client is a 32-bit program: use the windows preset")
endif()

# jsoncpp, built for MinGW by devtools/setup.sh into its cache folder.
if(DEFINED ENV{LUMENDOR_CACHE})
    set(_lumendor_cache "$ENV{LUMENDOR_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(_lumendor_cache "$ENV{XDG_CACHE_HOME}/lumendor")
else()
    set(_lumendor_cache "$ENV{HOME}/.cache/lumendor")
endif()
list(APPEND CMAKE_PREFIX_PATH "${_lumendor_cache}/jsoncpp-mingw")
find_package(jsoncpp CONFIG REQUIRED)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/devtools/wine-exec)

add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
add_compile_options(-Wall -Wextra -Wno-cast-function-type)
add_link_options(-static -static-libgcc -static-libstdc++)

set(LUMENDOR_WIN_SOURCES
    framework/app_win.cpp
    framework/wnd_win.cpp
    framework/html_dialog_win.cpp
    framework/runtime_imports_win.cpp
    settings/settings_win.cpp
    app/halvane3_app_win.cpp
    stats/stats_win.cpp
    stats/identity_win.cpp
    net/http_get_win.cpp
    net/sock_platform_win.cpp
    install/install_win.cpp
    install/icon_update_win.cpp
    install/desktop_icon_win.cpp
    mainwnd/main_dlg_win.cpp
    mainwnd/flash_bk_win.cpp
    mainwnd/flash_wnd_win.cpp
    skin/message_box_win.cpp
    skin/dlg_ex_win.cpp
    skin/controls_win.cpp
    html/dhtml_dlg_ex_win.cpp
    html/login_dlg_win.cpp
    html/ext_login_win.cpp
    mainwnd/game_wnd_win.cpp
    mainwnd/menus_win.cpp
    mainwnd/detour_win.cpp
    mainwnd/sound_mute_win.cpp
    tools/fav_dlg_win.cpp
    tools/setting_dlg_win.cpp
    mainwnd/hotkeys_win.cpp
    tools/screenshot_win.cpp
)

# What every piece of the client compiles and links against.
add_library(lumendor_deps INTERFACE)
target_include_directories(lumendor_deps INTERFACE ${CMAKE_SOURCE_DIR} ${LUMENDOR_GENERATED})
target_link_libraries(lumendor_deps INTERFACE
    JsonCpp::JsonCpp
    wininet ws2_32 iphlpapi dbghelp gdiplus comctl32 comdlg32 msimg32 shlwapi ole32 oleaut32 uuid shell32 advapi32 user32 gdi32 winmm)
add_library(lumendor_core OBJECT ${LUMENDOR_PORTABLE_SOURCES} ${LUMENDOR_WIN_SOURCES})
target_link_libraries(lumendor_core PUBLIC lumendor_deps)

# The coverage build (preset windows-coverage, never shipped): the client's
# own code counts its lines, and every program made of it writes its counts
# while it runs, so that a process a test ends by force still reports.
option(LUMENDOR_COVERAGE "count the client's executed lines (gcov)" OFF)
if(LUMENDOR_COVERAGE)
    set(_lumendor_coverage_flags --coverage -O0 -fprofile-update=atomic)
    target_compile_options(lumendor_core PRIVATE ${_lumendor_coverage_flags})
    target_sources(lumendor_core PRIVATE devtools/coverage/gcov_flush_win.cpp)
    target_link_options(lumendor_deps INTERFACE --coverage)
endif()

add_executable(Lumendor WIN32 framework/winmain_win.cpp res/Lumendor.rc)
target_link_libraries(Lumendor PRIVATE lumendor_core)
# The shipped client carries no symbol tables (half its size as linked).
target_link_options(Lumendor PRIVATE -municode -mwindows $<$<CONFIG:Release>:-s>)
set_target_properties(Lumendor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
file(GLOB LUMENDOR_RESOURCE_FILES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/res/skin/*.png ${CMAKE_SOURCE_DIR}/res/icons/*.ico
    ${CMAKE_SOURCE_DIR}/res/movie/*.swf)
set_source_files_properties(res/Lumendor.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/Lumendor.manifest;${CMAKE_SOURCE_DIR}/res/resource.h;${LUMENDOR_RESOURCE_FILES}")
target_include_directories(Lumendor PRIVATE ${CMAKE_SOURCE_DIR}/res)

# The same client with the main window's running-time timer shortened, for
# the scenario that watches it count: a test build only, in a folder of its
# own, never shipped.
add_executable(LumendorFastTimers WIN32 framework/winmain_win.cpp res/Lumendor.rc mainwnd/main_dlg_win.cpp
    $<FILTER:$<TARGET_OBJECTS:lumendor_core>,EXCLUDE,main_dlg_win\.cpp\.obj$>)
add_dependencies(LumendorFastTimers lumendor_core)
target_compile_definitions(LumendorFastTimers PRIVATE LUMENDOR_RUNNING_TIME_PERIOD=250)
if(LUMENDOR_COVERAGE)
    # The two sources these compile beside the core's objects count too.
    target_compile_options(Lumendor PRIVATE ${_lumendor_coverage_flags})
    target_compile_options(LumendorFastTimers PRIVATE ${_lumendor_coverage_flags})
endif()
target_link_libraries(LumendorFastTimers PRIVATE lumendor_deps)
target_link_options(LumendorFastTimers PRIVATE -municode -mwindows)
target_include_directories(LumendorFastTimers PRIVATE ${CMAKE_SOURCE_DIR}/res)
set_target_properties(LumendorFastTimers PROPERTIES OUTPUT_NAME Lumendor
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fast-timers)

# GoogleTest from Debian's sources, built for MinGW.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB LUMENDOR_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*_test.cpp)
# The socket client's cases run over Windows Sockets here as well.
list(APPEND LUMENDOR_WIN_TESTS ${CMAKE_SOURCE_DIR}/tests/native/sock_client_test.cpp)
add_executable(win_tests ${LUMENDOR_WIN_TESTS} tests/win/test_main.cpp res/Lumendor.rc)
target_include_directories(win_tests PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(win_tests PRIVATE lumendor_core GTest::gtest ws2_32)
set_target_properties(win_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(win_tests lmstandin)
# The browser host's own tests run in a process of their own: a browser
# control's downloads share the process's internet session, and pages that
# earlier tests left loading can hold back the events these tests wait for.
add_test(NAME win_tests COMMAND win_tests --gtest_filter=-BrowserHost.*:StandInBrowser.*)
add_test(NAME win_tests_browser_host COMMAND win_tests --gtest_filter=BrowserHost.*:StandInBrowser.*)
set_tests_properties(win_tests win_tests_browser_host PROPERTIES TIMEOUT 300)

# Helpers of the Windows-side tests.
add_executable(crash_probe tests/win/crash_probe.cpp)
target_link_libraries(crash_probe PRIVATE lumendor_core)
target_link_options(crash_probe PRIVATE -municode)
set_target_properties(crash_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

add_executable(sound_probe tests/win/sound_probe.cpp)
target_link_libraries(sound_probe PRIVATE lumendor_core)
target_link_options(sound_probe PRIVATE -municode)
set_target_properties(sound_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

add_executable(fake_desktop WIN32 tests/win/fake_desktop.cpp)
target_link_libraries(fake_desktop PRIVATE comctl32)
target_link_options(fake_desktop PRIVATE -municode -mwindows)
set_target_properties(fake_desktop PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

# The UI driver of the black-box tests.
add_executable(lmdriver devtools/uidriver/lmdriver.cpp)
target_link_libraries(lmdriver PRIVATE user32 gdi32 ole32 uuid)
target_link_options(lmdriver PRIVATE -municode)
set_target_properties(lmdriver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The stand-in for the system's web-browser control (test prefixes only).
add_library(lmstandin SHARED devtools/ie_standin/standin_server.cpp devtools/ie_standin/standin_browser.cpp
            devtools/ie_standin/standin_document.cpp devtools/ie_standin/standin_record.cpp
            devtools/ie_standin/standin_script.cpp devtools/ie_standin/html_tree.cpp
            devtools/ie_standin/standin_element.cpp devtools/ie_standin/standin_view.cpp devtools/ie_standin/page_layout.cpp
            devtools/ie_standin/lmstandin.def)
target_link_libraries(lmstandin PRIVATE ole32 oleaut32 uuid wininet user32 gdi32)
set_target_properties(lmstandin PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_library(lmrefuse SHARED devtools/uidriver/lmrefuse.c)
set_target_properties(lmrefuse PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(lmdriver lmrefuse)

# Yardsticks of the start-up benchmark (devtools/bench.sh): a bare dialog, and
# a dialog of the login window's size hosting the browser control on the
# login page.
add_executable(bench_bare WIN32 devtools/bench/bare_dialog.cpp devtools/bench/bare_dialog.rc)
target_link_options(bench_bare PRIVATE -municode -mwindows)
set_target_properties(bench_bare PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_executable(bench_browser WIN32 devtools/bench/browser_dialog.cpp devtools/bench/bare_dialog.rc)
target_link_libraries(bench_browser PRIVATE ole32 oleaut32 uuid)
target_link_options(bench_browser PRIVATE -municode -mwindows)
set_target_properties(bench_browser PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
# The client with the end of each start-up step noted (app/startup_trace.h):
# the benchmark's build only, never shipped.
set(_lumendor_traced app/halvane3_app_win.cpp mainwnd/main_dlg_win.cpp html/login_dlg_win.cpp)
add_executable(LumendorTraced WIN32 framework/winmain_win.cpp res/Lumendor.rc ${_lumendor_traced}
    devtools/bench/startup_trace_win.cpp
    $<FILTER:$<FILTER:$<FILTER:$<TARGET_OBJECTS:lumendor_core>,EXCLUDE,halvane3_app_win\.cpp\.obj$>,EXCLUDE,main_dlg_win\.cpp\.obj$>,EXCLUDE,login_dlg_win\.cpp\.obj$>)
add_dependencies(LumendorTraced lumendor_core)
target_compile_definitions(LumendorTraced PRIVATE LUMENDOR_STARTUP_TRACE)
target_link_libraries(LumendorTraced PRIVATE lumendor_deps)
target_link_options(LumendorTraced PRIVATE -municode -mwindows -s)
target_include_directories(LumendorTraced PRIVATE ${CMAKE_SOURCE_DIR}/res)
set_target_properties(LumendorTraced PROPERTIES OUTPUT_NAME Lumendor RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/traced)
# The benchmark's measuring program: start-up to a window, the socket
# downloader, the page hand-over (devtools/bench.sh).
add_executable(lmbench devtools/bench/lmbench.cpp)
target_link_libraries(lmbench PRIVATE lumendor_core)
target_link_options(lmbench PRIVATE -municode)
set_target_properties(lmbench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(win_tests lmbench)  # its smoke test runs it

# The skinned windows on their own, driven by the skin tests.
add_executable(skin_probe WIN32 tests/win/skin_probe.cpp res/Lumendor.rc)
target_include_directories(skin_probe PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(skin_probe PRIVATE lumendor_core)
target_link_options(skin_probe PRIVATE -municode -mwindows)
set_target_properties(skin_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

if(LUMENDOR_COVERAGE)
    # The client's inline and template code that a test or a probe calls is
    # compiled into that program's own objects, and the linker may keep that
    # copy rather than the core's: those objects count their lines too (the
    # report keeps only the client's files).
    foreach(_lumendor_counted win_tests skin_probe crash_probe sound_probe)
        target_compile_options(${_lumendor_counted} PRIVATE ${_lumendor_coverage_flags})
    endforeach()
endif()
