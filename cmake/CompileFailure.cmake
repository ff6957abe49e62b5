# Run with cmake -P: compiles SOURCE with the options in the response file FLAGS and expects the
# compiler to refuse it with exactly one error, whose diagnostic holds every text in EXPECT (a
# list, separated by "|"). So a test can prove that a mistake is caught at compile time, and
# caught with a message that helps.
foreach(variable COMPILER FLAGS SOURCE EXPECT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "CompileFailure.cmake needs -D${variable}=...")
    endif()
endforeach()

execute_process(COMMAND ${COMPILER} @${FLAGS} ${SOURCE}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
    message(FATAL_ERROR "${SOURCE} compiled, but must not")
endif()
string(REGEX MATCHALL "error:" errors "${output}")
list(LENGTH errors count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected exactly one error, the compiler gave ${count}:\n${output}")
endif()
string(REPLACE "|" ";" texts "${EXPECT}")
foreach(text IN LISTS texts)
    string(FIND "${output}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the diagnostic does not say \"${text}\":\n${output}")
    endif()
endforeach()
message(STATUS "refused with one error, as expected")
