# SF_SANITIZE selects one sanitizer set for the whole build: "address" (AddressSanitizer with
# UndefinedBehaviorSanitizer) or "thread" (ThreadSanitizer). The two cannot share a build.

set(SF_SANITIZE "" CACHE STRING "Sanitizer set for the whole build: '', 'address' or 'thread'")

if(SF_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(SF_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT SF_SANITIZE STREQUAL "")
    message(FATAL_ERROR "SF_SANITIZE must be '', 'address' or 'thread', not '${SF_SANITIZE}'")
endif()
