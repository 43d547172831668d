# In a build whose every test needs one fixture around it (a Windows build's
# Wine prefix, the page's npm packages), POPGEN_TEST_FIXTURE names it, and
# each folder that adds tests ends with require_test_fixture(), which gives
# its tests the fixture. A folder that does not, or that adds a test after
# it, is refused once the whole project is configured: its tests would pass
# in the whole suite, where another test set the fixture up, and fail alone.
# (Discovered GoogleTest cases are not in a folder's list: they take
# ${wine_fixture} in their PROPERTIES, tests/CMakeLists.txt.)
set(POPGEN_TEST_FIXTURE)
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(POPGEN_TEST_FIXTURE wine)
elseif(EMSCRIPTEN)
  set(POPGEN_TEST_FIXTURE web_npm)
endif()

function(require_test_fixture)
  get_property(tests DIRECTORY PROPERTY TESTS)
  set(given)
  foreach(test IN LISTS tests)
    get_test_property(${test} FIXTURES_SETUP setup)
    get_test_property(${test} FIXTURES_CLEANUP cleanup)
    if(NOT setup AND NOT cleanup)  # the fixtures' own tests need none
      list(APPEND given ${test})
    endif()
  endforeach()
  if(POPGEN_TEST_FIXTURE AND given)
    set_property(TEST ${given} APPEND PROPERTY FIXTURES_REQUIRED ${POPGEN_TEST_FIXTURE})
  endif()
  set_property(DIRECTORY PROPERTY POPGEN_FIXTURE_CHECKED ${tests})
endfunction()

function(check_test_fixture folder)
  get_property(tests DIRECTORY ${folder} PROPERTY TESTS)
  get_property(checked DIRECTORY ${folder} PROPERTY POPGEN_FIXTURE_CHECKED)
  if(tests AND checked)
    list(REMOVE_ITEM tests ${checked})
  endif()
  if(tests)
    file(RELATIVE_PATH where ${PROJECT_SOURCE_DIR} ${folder}/CMakeLists.txt)
    list(JOIN tests ", " tests)
    message(FATAL_ERROR "${where}: the tests ${tests} do not require the fixture ${POPGEN_TEST_FIXTURE}, "
                        "which every test of this build needs: end the file with require_test_fixture()")
  endif()
  get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(subfolder IN LISTS folders)
    check_test_fixture(${subfolder})
  endforeach()
endfunction()
if(POPGEN_TEST_FIXTURE)
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL check_test_fixture ${PROJECT_SOURCE_DIR})
endif()
