# cmake -D BUILD_DIR=build/win -D NAME=Pomvault-1.05 -P check-release.cmake
set(expected Lazerase.exe pelbo.cnt pelbo.exe pelbo.hlp pelbo.txt pelboSetup.exe unlha32.dll)
set(release ${BUILD_DIR}/release)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target release RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the release target failed (${rc})")
endif()

file(GLOB folder RELATIVE ${release}/${NAME} ${release}/${NAME}/*)
list(SORT folder)
if(NOT folder STREQUAL expected)
  message(FATAL_ERROR "folder ${NAME} holds '${folder}', expected '${expected}'")
endif()
foreach(f IN LISTS expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${release}/${NAME}/${f} ${BUILD_DIR}/bin/${f}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${f} in the release is not the one in bin/")
  endif()
endforeach()

# The zip unpacks into one folder of the same name with the same files.
set(unpacked ${BUILD_DIR}/release-check)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${release}/${NAME}.zip WORKING_DIRECTORY ${unpacked}
                RESULT_VARIABLE rc)
file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
file(GLOB zipped RELATIVE ${unpacked}/${NAME} ${unpacked}/${NAME}/*)
list(SORT zipped)
if(NOT rc EQUAL 0 OR NOT top STREQUAL NAME OR NOT zipped STREQUAL expected)
  message(FATAL_ERROR "${NAME}.zip unpacks to '${top}' holding '${zipped}', expected ${NAME} holding '${expected}'")
endif()
foreach(f IN LISTS expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${unpacked}/${NAME}/${f} ${BUILD_DIR}/bin/${f}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${f} in the zip is not the one in bin/")
  endif()
endforeach()
file(REMOVE_RECURSE ${unpacked})
