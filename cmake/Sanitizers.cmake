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
    # Boost.Asio orders a handler's memory with a standalone fence, which ThreadSanitizer cannot
    # follow (g++ refuses it under -Werror); its scheduler's own locks already order handlers, so
    # the console and its clients are built without the fence for this build only.
    add_compile_definitions(BOOST_ASIO_DISABLE_FENCED_BLOCK)
elseif(NOT SF_SANITIZE STREQUAL "")
    message(FATAL_ERROR "SF_SANITIZE must be '', 'address' or 'thread', not '${SF_SANITIZE}'")
endif()
