# cmake -P script: fails unless FILE holds EXPECTED of the test build's switches (KCF_SETUP_*).
# -DFILE=<program> -DEXPECTED=<count>
file(STRINGS "${FILE}" switches REGEX "KCF_SETUP_[A-Z_]+")
list(REMOVE_DUPLICATES switches)
list(LENGTH switches count)
if(NOT count EQUAL EXPECTED)
  message(FATAL_ERROR "${FILE} holds ${count} test switches (${switches}), not ${EXPECTED}")
endif()
message(STATUS "${FILE}: ${count} test switches, as expected")
