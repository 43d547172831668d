# add_bats_tests(PREFIX FILE [PROPERTIES ...]): one CTest test for each
# @test of the bats FILE, which runs that test alone (bats --filter), named
# PREFIX_ and the test's name with each run of other characters than letters
# and digits as one _: "every at_exit action runs, the last given first, ..."
# is scripts_every_at_exit_action_runs_the_last_given_first_.... The
# PROPERTIES are set on each (TIMEOUT, ENVIRONMENT, ...). A bats skip counts
# as skipped; a filter that runs nothing (a name this could not read) fails.
# Test names hold no ; [ ] " or \, which CMake's lists and this reading would split.
function(add_bats_tests prefix file)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PROPERTIES")
  find_program(POPGEN_BATS bats REQUIRED)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(STRINGS ${file} lines REGEX "^@test ")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^@test +\"(.*)\" *{ *$" "\\1" name "${line}")
    string(REGEX REPLACE "[^A-Za-z0-9]+" "_" id "${name}")
    string(REGEX REPLACE "^_|_$" "" id "${id}")
    string(REGEX REPLACE "([.*+?^$(){}|])" "\\\\\\1" pattern "${name}")
    add_test(NAME ${prefix}_${id} COMMAND ${POPGEN_BATS} --filter "^${pattern}$" ${file})
    set_tests_properties(${prefix}_${id} PROPERTIES
      SKIP_REGULAR_EXPRESSION "\nok 1 [^\n]* # skip" FAIL_REGULAR_EXPRESSION "^1\\.\\.0\n" ${arg_PROPERTIES})
  endforeach()
endfunction()
