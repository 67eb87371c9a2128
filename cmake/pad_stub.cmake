# Checks the stub image against the room a container gives it and writes the padded image:
# the stub followed by zero bytes up to exactly LIMIT bytes.
# Inputs: STUB (the linked image), PADDED (the image to write), LIMIT (the stub's room), LABEL
# (which build, for the message).
file(SIZE "${STUB}" size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${LABEL} stub image is ${size} bytes, more than the ${LIMIT} a container gives it")
endif()
math(EXPR room "${LIMIT} - ${size}")
message(STATUS "${LABEL} stub image: ${size} bytes unpadded (${room} bytes to spare of ${LIMIT})")
file(COPY_FILE "${STUB}" "${PADDED}")
execute_process(COMMAND truncate -s ${LIMIT} "${PADDED}" RESULT_VARIABLE rc)
file(SIZE "${PADDED}" padded)
if(NOT rc EQUAL 0 OR NOT padded EQUAL LIMIT)
  message(FATAL_ERROR "could not write the ${LIMIT}-byte padded stub ${PADDED}")
endif()
