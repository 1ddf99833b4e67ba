# cmake -D BUILD_DIR=build/win -D NAME=Pomvault-1.05 -P check-release.cmake
set(expected Lazerase.exe pelbo.cnt pelbo.exe pelbo.hlp pelbo.txt pelboSetup.exe unlha32.dll)
set(release ${BUILD_DIR}/release)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target release RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the release target failed (${rc})")
endif()

# The zip unpacks into one folder of the release folder's name.
set(unpacked ${BUILD_DIR}/release-check)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${release}/${NAME}.zip WORKING_DIRECTORY ${unpacked})
file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
if(NOT top STREQUAL NAME)
  message(FATAL_ERROR "${NAME}.zip unpacks to '${top}'")
endif()

# Both hold exactly the shipped files, each the one in bin/.
foreach(dir ${release}/${NAME} ${unpacked}/${NAME})
  file(GLOB found RELATIVE ${dir} ${dir}/*)
  list(SORT found)
  if(NOT found STREQUAL expected)
    message(FATAL_ERROR "${dir} holds '${found}', expected '${expected}'")
  endif()
  foreach(f IN LISTS expected)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${dir}/${f} ${BUILD_DIR}/bin/${f} RESULT_VARIABLE differs)
    if(differs)
      message(FATAL_ERROR "${dir}/${f} is not the one in bin/")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE ${unpacked})
