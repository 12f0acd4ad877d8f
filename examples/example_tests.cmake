# Each example run against velmora-sim by run-example.sh: it must exit 0 and print its key line.
# The simulators listen on loopback addresses of this build folder's own, 127.x.y.(4i+1) for
# the i-th example, so two build folders run the tests at the same time without clashing.
if(NOT TARGET velmora-sim)
  return()
endif()
string(SHA1 _hash "${PROJECT_BINARY_DIR}/examples")
set(_prefix 127)
foreach(_at 0 2)
  string(SUBSTRING ${_hash} ${_at} 2 _byte)
  math(EXPR _byte "0x${_byte} % 254 + 1")
  string(APPEND _prefix .${_byte})
endforeach()

set(_run ${PROJECT_SOURCE_DIR}/examples/run-example.sh)
set(_index 0)
# velmora_example_test(<name> <expected text> [OPTIONS <run-example options>] COMMAND <command>)
function(velmora_example_test name expected)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "OPTIONS;COMMAND")
  math(EXPR _last "${_index} * 4 + 1")
  math(EXPR _next "${_index} + 1")
  set(_index ${_next} PARENT_SCOPE)
  add_test(NAME example.${name}
    COMMAND ${_run} ${arg_OPTIONS} $<TARGET_FILE:velmora-sim> ${_prefix}.${_last}
            ${PROJECT_BINARY_DIR}/examples/run/${name} ${expected} -- ${arg_COMMAND})
  set_tests_properties(example.${name} PROPERTIES TIMEOUT 200 ENVIRONMENT "LC_ALL=C.UTF-8")
endfunction()

velmora_example_test(connect_and_power "power: on" COMMAND $<TARGET_FILE:example_connect_and_power> @address@)
velmora_example_test(queued_motion "every command reached" COMMAND $<TARGET_FILE:example_queued_motion> @address@)
velmora_example_test(state_stream_csv "rows to state.csv"
  COMMAND $<TARGET_FILE:example_state_stream_csv> @address@)
velmora_example_test(io_and_registers "reg_float after writing: 3.00"
  COMMAND $<TARGET_FILE:example_io_and_registers> @address@)
velmora_example_test(files_and_projects "module removed" OPTIONS --zip cell.zip
  COMMAND $<TARGET_FILE:example_files_and_projects> @address@ cell.zip)
velmora_example_test(force_control "force condition met" COMMAND $<TARGET_FILE:example_force_control> @address@)
velmora_example_test(ethercat "PDO read back: 11 22 33 44" COMMAND $<TARGET_FILE:example_ethercat> @address@)
velmora_example_test(upgrade_and_backup "backup written to backup.zip" OPTIONS --upgrade --file package.zip
  COMMAND $<TARGET_FILE:example_upgrade_and_backup> @address@ package.zip)
velmora_example_test(several_robots "2 of 2 robots reached" OPTIONS --sims 2
  COMMAND $<TARGET_FILE:example_several_robots> @address@)
if(VELMORA_MANAGED)
  find_program(VELMORA_MONO mono)
  if(VELMORA_MONO)
    # The assembly's dll map names the library's soname, found beside it in the build.
    velmora_example_test(first_program_cs "power: on" COMMAND env
      MONO_PATH=${PROJECT_BINARY_DIR}/managed LD_LIBRARY_PATH=$<TARGET_FILE_DIR:velmora>
      ${VELMORA_MONO} ${PROJECT_BINARY_DIR}/examples/FirstProgram.exe @address@)
  endif()
endif()
