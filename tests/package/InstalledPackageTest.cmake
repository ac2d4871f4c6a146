# Installs the engine from BUILD_DIR into a temporary prefix, builds the
# example programs of SOURCE_DIR/examples against the installed package as
# an outside project would, and runs them in a temporary database.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P InstalledPackageTest.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/database)

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR}/database RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
    endif()
    message("${output}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
set(ENV{MOX_DATABASE_PATH} ${WORK_DIR}/database)
run(${WORK_DIR}/build/quickstart)
# The programs come with the package.
run(${WORK_DIR}/prefix/bin/mox --help)
run(${WORK_DIR}/prefix/bin/moxstop)
file(REMOVE_RECURSE ${WORK_DIR})
